// The window's sizes at 96, 120, 144 and 192 DPI, the scaling rule behind them, and the strip's parts
// that depend on them: frames, the line under the strip, the clock text's place, the note box's margins.
#include <gtest/gtest.h>

#include "appearance/calendar_settings.h"
#include "appearance/paint_geometry.h"
#include "appearance/title_font.h"
#include "interaction/link_state.h"

#include <climits>
#include <set>
#include <utility>
#include <vector>

using namespace quill;

// Every size the window draws in pixels, at the four usual scalings. At 96 DPI each is the size the
// window has always had.
TEST(Dpi, EveryGeometryValueByDpi) {
    struct Case {
        int dpi;
        int titleHeight, menuButtonWidth, lineWidth, noteBoxExtension;
        ClientRect menuBox;
        std::array<ClientPoint, 3> triangle;
        int cornerRadius; // the default 15
        int titleFont;    // the default -16
        int linkFont;     // -11
        int linkRadius;   // 5
    } cases[] = {
        {96, 23, 17, 1, 13, {0, 0, 17, 24}, {{{3, 9}, {13, 9}, {8, 14}}}, 15, -16, -11, 5},
        {120, 29, 21, 1, 16, {0, 0, 21, 30}, {{{4, 11}, {16, 11}, {10, 18}}}, 19, -20, -14, 6},
        {144, 35, 26, 1, 20, {0, 0, 26, 36}, {{{5, 14}, {20, 14}, {12, 21}}}, 23, -24, -17, 8},
        {192, 46, 34, 1, 26, {0, 0, 34, 47}, {{{6, 18}, {26, 18}, {16, 28}}}, 30, -32, -22, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        const WindowMetrics m = MetricsForDpi(c.dpi);
        EXPECT_EQ(m,
                  (WindowMetrics{c.dpi, c.titleHeight, c.menuButtonWidth, c.lineWidth, c.noteBoxExtension}));
        EXPECT_EQ(MenuButtonRect(m), c.menuBox);
        EXPECT_EQ(MenuTriangle(c.dpi), c.triangle);
        EXPECT_EQ(ScaleForDpi(kDefaultCornerRadius, c.dpi), c.cornerRadius);
        EXPECT_EQ(DrawnTitleFontHeight(-16, c.dpi), c.titleFont);
        EXPECT_EQ(LinkFontFor(false, c.dpi).height, c.linkFont);
        EXPECT_EQ(LinkFontFor(true, c.dpi).height, c.linkFont);
        EXPECT_EQ(InitialLinkLook(c.dpi).radius, c.linkRadius);
        // The strip and the line under it, as the clock's repaint and the painter use them.
        const ClientRect strip = TitleStripRect(463, m.titleHeight);
        EXPECT_EQ(strip, (ClientRect{0, 0, 463, c.titleHeight}));
        EXPECT_EQ(StripUnderlineBand(strip, m.lineWidth),
                  (ClientRect{0, c.titleHeight, 463, c.titleHeight + c.lineWidth}));
        // The menu box reaches exactly to the foot of the line under the strip.
        EXPECT_EQ(MenuButtonRect(m).bottom, StripUnderlineBand(strip, m.lineWidth).bottom);
        // The default font's text starts as far down the strip, in proportion, at every DPI.
        EXPECT_EQ(TextTopOffset(c.titleFont, c.titleHeight), ScaleForDpi(2, c.dpi));
    }
    // The defaults of the two families of sizes agree with the window's own constants.
    EXPECT_EQ(MetricsForDpi(kDefaultDpi), WindowMetrics{});
    EXPECT_EQ(MenuButtonRect(MetricsForDpi(kDefaultDpi)), MenuButtonRect(kTitleHeight));
    EXPECT_EQ(MenuTriangle(kDefaultDpi), MenuTriangle());
}

TEST(Dpi, ScalingRoundsHalfAwayFromZeroAndNeverOverflows) {
    struct Case {
        int pixels, from, to, expected;
    } cases[] = {
        {23, 96, 144, 35},
        {-23, 96, 144, -35},
        {1, 96, 144, 2},
        {1, 96, 120, 1},
        {3, 96, 120, 4},
        {-3, 96, 120, -4},
        {0, 96, 192, 0},
        {35, 144, 96, 23},
        {-24, 144, 96, -16},
        {-25, 144, 96, -17},
        {20, 120, 144, 24},
        {7, 96, 0, 7},
        {7, 0, 192, 14},
        {7, -5, 96, 7},
        {INT_MAX, 96, 192, INT_MAX},
        {INT_MIN, 96, 192, INT_MIN},
        {INT_MAX, 192, 96, 1073741824},
        {INT_MIN, 96, 96, INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RescaleForDpi(c.pixels, c.from, c.to), c.expected)
            << c.pixels << " from " << c.from << " to " << c.to;
    }
    // From 96 DPI up and back is the identity: what the record holds survives a trip through a screen
    // of any larger scaling.
    for (int dpi : {96, 108, 120, 144, 168, 192, 240, 288}) {
        for (int pixels = -200; pixels <= 200; ++pixels) {
            ASSERT_EQ(UnscaleFromDpi(ScaleForDpi(pixels, dpi), dpi), pixels) << pixels << " at " << dpi;
        }
    }
    // One-pixel lines stay one pixel; wider ones would scale, and never vanish.
    struct Line {
        int width, dpi, expected;
    } lines[] = {{1, 96, 1},  {1, 144, 1}, {1, 192, 1}, {1, 48, 1}, {2, 96, 2},
                 {2, 144, 3}, {3, 120, 4}, {2, 192, 4}, {2, 24, 1}, {0, 144, 0}};
    for (const Line& l : lines)
        EXPECT_EQ(LineWidthForDpi(l.width, l.dpi), l.expected) << l.width << " at " << l.dpi;
    for (int dpi : {1, 48, 72, 95, 144, 192})
        EXPECT_EQ(MetricsForDpi(dpi).lineWidth, 1) << dpi;
}

// The frame bands cover exactly the pixels FrameRect paints at width 1, and a band `width` deep at
// any width; the four of them never reach outside the rectangle.
TEST(Dpi, FrameBandsMatchAFrameOfTheWidth) {
    const auto pixels = [](const std::array<ClientRect, 4>& bands) {
        std::set<std::pair<int, int>> out;
        for (const ClientRect& b : bands)
            for (int y = b.top; y < b.bottom; ++y)
                for (int x = b.left; x < b.right; ++x)
                    out.insert({x, y});
        return out;
    };
    const auto frame = [](const ClientRect& r, int width) {
        std::set<std::pair<int, int>> out;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (x < r.left + width || x >= r.right - width || y < r.top + width || y >= r.bottom - width)
                    out.insert({x, y});
        return out;
    };
    const ClientRect rects[] = {{0, 0, 17, 24}, {0, 0, 30, 20}, {5, 7, 8, 9}, {-3, -3, 3, 3}, {0, 0, 1, 1}};
    for (const ClientRect& r : rects) {
        for (int width : {1, 2, 3, 10}) {
            EXPECT_EQ(pixels(FrameBands(r, width)), frame(r, width))
                << r.left << "," << r.top << "," << r.right << "," << r.bottom << " width " << width;
        }
    }
    for (const ClientRect& empty : {ClientRect{0, 0, 0, 10}, ClientRect{5, 5, 4, 9}}) {
        EXPECT_TRUE(pixels(FrameBands(empty, 2)).empty());
    }
    EXPECT_TRUE(pixels(FrameBands({0, 0, 10, 10}, 0)).empty());
}

// The clock stays centred on the whole strip while it clears the menu box and the right frame; past
// that it starts right of the box, cut with an ellipsis where the room ends.
TEST(Dpi, ClockTextNeverCoversTheMenuBox) {
    const ClientRect strip96 = TitleStripRect(309, 23);
    const ClientRect box96 = MenuButtonRect(23);
    const ClientRect strip144 = TitleStripRect(463, 35);
    const ClientRect box144 = MenuButtonRect(MetricsForDpi(144));
    struct Case {
        const char* name;
        ClientRect strip, box;
        int line, height, title, width;
        ClockTextPlacement expected;
    } cases[] = {
        {"default clock", strip96, box96, 1, -16, 23, 130, {{0, 2, 309, 23}, true}},
        {"empty text", strip96, box96, 1, -16, 23, 0, {{0, 2, 309, 23}, true}},
        // 309 - 271 = 38: starts at 19 either way, two pixels right of the box; ends at 290 or 291.
        {"just clears the box", strip96, box96, 1, -16, 23, 271, {{0, 2, 309, 23}, true}},
        {"one pixel more", strip96, box96, 1, -16, 23, 272, {{19, 2, 306, 23}, false}},
        {"fits right of the box", strip96, box96, 1, -16, 23, 287, {{19, 2, 306, 23}, false}},
        {"wider than the room", strip96, box96, 1, -22, 23, 600, {{19, 0, 306, 23}, false}},
        {"wider than the strip", strip96, box96, 1, -16, 23, 5000, {{19, 2, 306, 23}, false}},
        {"negative width", strip96, box96, 1, -16, 23, -1, {{19, 2, 306, 23}, false}},
        {"144 DPI centred", strip144, box144, 1, -24, 35, 195, {{0, 3, 463, 35}, true}},
        {"144 DPI too wide", strip144, box144, 1, -24, 35, 420, {{28, 3, 460, 35}, false}},
        {"strip narrower than the box",
         TitleStripRect(10, 23),
         box96,
         1,
         -16,
         23,
         4,
         {{19, 2, 19, 23}, false}},
    };
    for (const Case& c : cases) {
        const ClockTextPlacement got = PlaceClockText(c.strip, c.box, c.line, c.height, c.title, c.width);
        EXPECT_EQ(got, c.expected) << c.name;
        // Whatever the text, the rectangle DrawText clips to keeps two line widths off the box and the
        // right frame unless the text is centred clear of them.
        if (!got.centred) {
            EXPECT_GE(got.rect.left, c.box.right + 2 * c.line) << c.name;
            EXPECT_TRUE(got.rect.right <= c.strip.right - 3 * c.line || got.rect.right == got.rect.left)
                << c.name;
        }
    }
}

TEST(Dpi, NoteBoxMarginsOutsideTheTextRect) {
    const ClientRect client{0, 0, 285, 86};
    struct Case {
        const char* name;
        ClientRect text;
        std::vector<ClientRect> expected;
    } cases[] = {
        {"six lines and a foot",
         {2, 1, 283, 79},
         {{0, 0, 285, 1}, {0, 79, 285, 86}, {0, 1, 2, 79}, {283, 1, 285, 79}}},
        {"whole client", {0, 0, 285, 86}, {}},
        {"past the client", {-5, -5, 300, 300}, {}},
        {"only a foot", {0, 0, 285, 80}, {{0, 80, 285, 86}}},
        {"empty text rect", {10, 10, 10, 50}, {{0, 0, 285, 86}}},
        {"outside the client", {400, 400, 500, 500}, {{0, 0, 285, 86}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OutsideTextRect(client, c.text), c.expected) << c.name;
    }
    EXPECT_TRUE(OutsideTextRect({0, 0, 0, 0}, {0, 0, 5, 5}).empty());
}
