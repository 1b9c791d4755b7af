// The window's sizes at 96, 120, 144 and 192 DPI and the scaling rule behind them; the clock text's
// place in the strip; the note box's margins; the title font between the record and the font dialog.
#include <gtest/gtest.h>

#include "appearance/calendar_settings.h"
#include "appearance/paint_geometry.h"
#include "appearance/title_font.h"
#include "interaction/link_state.h"

#include <climits>
#include <string>
#include <vector>

using namespace quill;

// Every size the window draws in pixels; at 96 DPI each is the size the window has always had.
TEST(Dpi, EveryGeometryValueByDpi) {
    struct Case {
        int dpi;
        WindowMetrics metrics;
        ClientRect menuBox;
        std::array<ClientPoint, 3> triangle;
        int cornerRadius; // the default 15
        int titleFont;    // the default -16
        int textTop;      // where the default font's text starts in the strip
        int linkFont;     // -11
        int linkRadius;   // 5
    } cases[] = {
        {96, {96, 23, 17, 13}, {0, 0, 17, 24}, {{{3, 9}, {13, 9}, {8, 14}}}, 15, -16, 2, -11, 5},
        {120, {120, 29, 21, 16}, {0, 0, 21, 30}, {{{4, 11}, {16, 11}, {10, 18}}}, 19, -20, 3, -14, 6},
        {144, {144, 35, 26, 20}, {0, 0, 26, 36}, {{{5, 14}, {20, 14}, {12, 21}}}, 23, -24, 3, -17, 8},
        {192, {192, 46, 34, 26}, {0, 0, 34, 47}, {{{6, 18}, {26, 18}, {16, 28}}}, 30, -32, 4, -22, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        const WindowMetrics m = MetricsForDpi(c.dpi);
        EXPECT_EQ(m, c.metrics);
        EXPECT_EQ(MenuButtonRect(m.titleHeight, m.menuButtonWidth), c.menuBox);
        EXPECT_EQ(MenuTriangle(c.dpi), c.triangle);
        EXPECT_EQ(ScaleForDpi(kDefaultCornerRadius, c.dpi), c.cornerRadius);
        EXPECT_EQ(DrawnTitleFontHeight(-16, c.dpi), c.titleFont);
        EXPECT_EQ(TextTopOffset(c.titleFont, m.titleHeight), c.textTop);
        EXPECT_EQ(LinkFontFor(true, c.dpi).height, c.linkFont);
        EXPECT_EQ(InitialLinkLook(c.dpi).radius, c.linkRadius);
    }
    EXPECT_EQ(MetricsForDpi(kDefaultDpi), WindowMetrics{});
    // A failed DPI query draws at 96; no operand overflows; halves round away from zero, as MulDiv.
    EXPECT_EQ(MetricsForDpi(0), WindowMetrics{});
    EXPECT_EQ(RescaleForDpi(-25, 144, 96), -17);
    EXPECT_EQ(RescaleForDpi(INT_MAX, 96, 192), INT_MAX);
    EXPECT_EQ(RescaleForDpi(INT_MIN, 96, 192), INT_MIN);
    // Up from 96 DPI and back is the identity, for every DPI a screen offers.
    for (int dpi : {96, 108, 120, 144, 168, 192, 288})
        for (int pixels = -300; pixels <= 300; ++pixels)
            ASSERT_EQ(UnscaleFromDpi(ScaleForDpi(pixels, dpi), dpi), pixels) << pixels << " at " << dpi;
}

// The clock stays centred on the whole strip while it clears the menu box and the right frame by two
// pixels; past that it starts two pixels right of the box, cut with an ellipsis where the room ends.
TEST(Dpi, ClockTextNeverCoversTheMenuBox) {
    const ClientRect strip96 = TitleStripRect(309, 23);
    const ClientRect box96 = MenuButtonRect(23);
    const ClientRect strip144 = TitleStripRect(463, 35);
    const ClientRect box144 = MenuButtonRect(35, 26);
    struct Case {
        const char* name;
        ClientRect strip, box;
        int height, title, width;
        ClockTextPlacement expected;
    } cases[] = {
        {"default clock", strip96, box96, -16, 23, 130, {{0, 2, 309, 23}, true}},
        // 309 - 271 = 38: starts at 19 either way, ends at 290 or 291.
        {"just clears the box", strip96, box96, -16, 23, 271, {{0, 2, 309, 23}, true}},
        {"one pixel more", strip96, box96, -16, 23, 272, {{19, 2, 306, 23}, false}},
        {"wider than the strip", strip96, box96, -22, 23, 5000, {{19, 0, 306, 23}, false}},
        {"144 DPI centred", strip144, box144, -24, 35, 195, {{0, 3, 463, 35}, true}},
        {"144 DPI too wide", strip144, box144, -24, 35, 420, {{28, 3, 460, 35}, false}},
        {"strip narrower than the box", TitleStripRect(10, 23), box96, -16, 23, 4, {{19, 2, 19, 23}, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceClockText(c.strip, c.box, c.height, c.title, c.width), c.expected) << c.name;
}

TEST(Dpi, NoteBoxMarginsOutsideTheTextRect) {
    const ClientRect client{0, 0, 285, 86};
    EXPECT_EQ(OutsideTextRect(client, {2, 1, 283, 79}),
              (std::vector<ClientRect>{{0, 0, 285, 1}, {0, 79, 285, 86}, {0, 1, 2, 79}, {283, 1, 285, 79}}));
    EXPECT_EQ(OutsideTextRect(client, {-5, -5, 300, 300}), std::vector<ClientRect>{});
    EXPECT_EQ(OutsideTextRect(client, {400, 400, 500, 500}), std::vector<ClientRect>{client});
}

TEST(TitleFont, HeightThroughTheDialogAndTheFaceItOpensOn) {
    struct Case {
        const char* name;
        std::int32_t stored;
        int dpi;
        int chosen; // what the dialog hands back
        std::int32_t expected;
    } cases[] = {
        {"OK unchanged at 144", -16, 144, -24, -16},
        {"OK unchanged below 96 keeps the odd size", -17, 72, -13, -17},
        {"bigger at 144", -16, 144, -32, -21},
        {"cell height at 192", 10, 192, 30, 15},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoredFontHeight(c.stored, DialogFontHeight(c.stored, c.dpi), c.chosen, c.dpi), c.expected)
            << c.name;
    // A size picked too tall for the strip is drawn as tall as a file read back would hold it.
    EXPECT_EQ(DrawnTitleFontHeight(-96, 144), -33);

    const std::vector<std::string> installed = {"Tahoma", "\xCB\xCE\xCC\xE5"};
    EXPECT_EQ(DialogFaceName("tAHOMA", installed, "Arial"), "Tahoma");
    EXPECT_EQ(DialogFaceName("\xCB\xCE\xCC\xE5", installed, "Tahoma"), "\xCB\xCE\xCC\xE5");
    EXPECT_EQ(DialogFaceName("Bradley Hand ITC", installed, "DejaVu Sans"), "DejaVu Sans");
    EXPECT_EQ(DialogFaceName("Bradley Hand ITC", installed, ""), "Bradley Hand ITC");
    // Only ASCII letters fold: a GBK byte that differs by the case bit is another character.
    EXPECT_EQ(DialogFaceName("\xCB\xCE\xCC\xC5", installed, "Tahoma"), "Tahoma");
}
