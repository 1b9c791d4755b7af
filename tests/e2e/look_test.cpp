// End-to-end tests of the window's look, read from the screen: the colours of every scheme, the title
// strip's gradient styles, the outline of every corner style, and the month calendar's colours.
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace e2e::look {
namespace {

struct LookCase {
    const char* name;
    int scheme;
    int gradient;
    int corner;
};

void PrintTo(const LookCase& c, std::ostream* os) {
    *os << c.name;
}

// Which pair of corners a style cuts away.
struct Outline {
    bool topCut;
    bool bottomCut;
};

Outline OutlineOf(int style) {
    switch (style) {
    case 1:
        return {true, false};
    case 2:
        return {true, true};
    default:
        return {false, false};
    }
}

// The strip: both ends and the middle of its gradient, or the flat background.
void ExpectStrip(HWND w, int gradient, const SchemeColors& colors, LONG W) {
    constexpr int kTolerance = 4;
    const bool evenStart = gradient % 2 == 0;
    const COLORREF start = evenStart ? colors.back : colors.accent;
    const COLORREF end = evenStart ? colors.accent : colors.back;
    if (gradient == 0 || gradient == 1) {
        for (LONG y : {1, 11, 22}) {
            EXPECT_TRUE(PixelIs(w, {W / 2, y}, Between(start, end, y, kStripHeight), kTolerance))
                << "vertical gradient, row " << y;
        }
        // The same colour all along a row.
        EXPECT_TRUE(PixelIs(w, {20, 22}, Between(start, end, 22, kStripHeight), kTolerance));
    } else if (gradient == 2 || gradient == 3) {
        for (LONG x : {LONG{18}, W / 2, W - 2}) {
            EXPECT_TRUE(PixelIs(w, {x, 12}, Between(start, end, x, W), kTolerance))
                << "horizontal gradient, column " << x;
        }
        // The same colour all down a column.
        EXPECT_TRUE(PixelIs(w, {W / 2, 21}, Between(start, end, W / 2, W), kTolerance));
    } else {
        for (POINT p : {POINT{18, 1}, POINT{W / 2, 12}, POINT{W - 2, 22}})
            EXPECT_TRUE(PixelIs(w, p, colors.back)) << "no gradient, (" << p.x << "," << p.y << ")";
    }
}

// The outline: a pixel just inside each corner shows the window or, where cut, the desktop.
void ExpectOutline(HWND w, int corner, const SchemeColors& colors, COLORREF desktop) {
    const RECT client = ClientRect(w);
    const LONG W = client.right, H = client.bottom;
    const Outline outline = OutlineOf(corner);
    struct CornerPixel {
        const char* where;
        POINT p;
        bool cut;
    };
    const CornerPixel corners[] = {
        {"top-left", {0, 0}, outline.topCut},
        {"top-left, one in", {1, 1}, outline.topCut},
        {"top-right", {W - 1, 0}, outline.topCut},
        {"top-right, one in", {W - 2, 0}, outline.topCut},
        {"bottom-left", {0, H - 1}, outline.bottomCut},
        {"bottom-left, one in", {0, H - 2}, outline.bottomCut},
        {"bottom-right", {W - 1, H - 1}, outline.bottomCut},
    };
    for (const CornerPixel& k : corners) {
        if (k.cut) {
            EXPECT_TRUE(PixelIs(w, k.p, desktop, 2)) << k.where << " corner should show the desktop";
        } else {
            const COLORREF got = ScreenPixel(ToScreen(w, k.p));
            EXPECT_GT(ChannelDistance(got, desktop), 10)
                << k.where << " corner shows the desktop (" << ColorText(got) << ")";
        }
    }
    // Where the corner's curve leaves the window whole.
    for (POINT p : {POINT{7, 7}, POINT{W - 8, 7}, POINT{7, H - 8}, POINT{W - 8, H - 8}})
        EXPECT_GT(ChannelDistance(ScreenPixel(ToScreen(w, p)), desktop), 10)
            << "(" << p.x << "," << p.y << ")";
    if (!outline.topCut) {
        EXPECT_TRUE(PixelIs(w, {0, 0}, colors.accent)) << "square top-left corner is the frame";
        EXPECT_TRUE(PixelIs(w, {W - 1, 0}, colors.accent)) << "square top-right corner is the frame";
    }
}

// The month calendar takes the scheme too; its trailing days vanish into the month background.
void ExpectCalendarColors(HWND w, const SchemeColors& colors) {
    HWND calendar = Child(w, 1000);
    ASSERT_NE(calendar, nullptr);
    const std::pair<int, COLORREF> calendarColors[] = {
        {MCSC_BACKGROUND, colors.back}, {MCSC_MONTHBK, colors.back},   {MCSC_TEXT, colors.text},
        {MCSC_TITLEBK, colors.accent},  {MCSC_TITLETEXT, colors.back}, {MCSC_TRAILINGTEXT, colors.back},
    };
    for (const auto& [index, expected] : calendarColors) {
        DWORD_PTR got = 0;
        ASSERT_TRUE(SendMessageTimeoutW(calendar, MCM_GETCOLOR, static_cast<WPARAM>(index), 0, SMTO_NORMAL,
                                        kWaitMs, &got));
        EXPECT_EQ(static_cast<COLORREF>(got), expected) << "calendar colour " << index;
    }
}

class Look : public ::testing::TestWithParam<LookCase> {};

// Each run sets a different scheme, gradient and corner style, so five starts cover every value.
TEST_P(Look, PaintsSchemeGradientAndOutline) {
    const LookCase& c = GetParam();
    const SchemeColors& colors = kSchemes[c.scheme];
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_nColorScheme = c.scheme;
    s.m_nGradient = c.gradient;
    s.m_nCornerStyle = c.corner;

    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    const RECT client = ClientRect(w);
    const LONG W = client.right, H = client.bottom;
    ASSERT_GT(W, 100);
    ASSERT_GT(H, 100);
    const COLORREF desktop = DesktopNextTo(w);
    ASSERT_GT(ChannelDistance(desktop, colors.back), 10) << "the desktop cannot be told from the window";

    std::optional<POINT> bg = BackgroundPoint(w);
    ASSERT_TRUE(bg.has_value()) << "no point of the window is clear of its controls";
    EXPECT_TRUE(PixelIs(w, *bg, colors.back)) << "background";

    // The frame round the client area, the menu box's frame and the line under the strip.
    EXPECT_TRUE(PixelIs(w, {0, bg->y}, colors.accent)) << "left frame";
    EXPECT_TRUE(PixelIs(w, {W - 1, bg->y}, colors.accent)) << "right frame";
    EXPECT_TRUE(PixelIs(w, {W / 2, 0}, colors.accent)) << "top frame";
    EXPECT_TRUE(PixelIs(w, {16, 12}, colors.accent)) << "menu box frame";
    EXPECT_TRUE(PixelIs(w, {W / 2, kStripHeight}, colors.accent)) << "line under the strip";
    EXPECT_TRUE(PixelIs(w, {W - 3, kStripHeight}, colors.accent)) << "line under the strip";
    EXPECT_TRUE(PixelIs(w, {8, 11}, colors.accent)) << "triangle fill";
    EXPECT_TRUE(PixelIs(w, {8, 9}, colors.text)) << "triangle outline (top edge)";
    EXPECT_TRUE(PixelIs(w, {8, 14}, colors.text)) << "triangle outline (tip)";

    ExpectStrip(w, c.gradient, colors, W);
    ExpectOutline(w, c.corner, colors, desktop);
    ASSERT_NO_FATAL_FAILURE(ExpectCalendarColors(w, colors));
}

INSTANTIATE_TEST_SUITE_P(Look, Look,
                         ::testing::Values(LookCase{"Blue_Gradient0_Square", 0, 0, 0},
                                           LookCase{"Green_Gradient1_TopRounded", 1, 1, 1},
                                           LookCase{"Red_Gradient2_AllRounded", 2, 2, 2},
                                           LookCase{"Yellow_Gradient3_Style5Square", 3, 3, 5},
                                           LookCase{"Grey_Gradient9_Square", 4, 9, 0}),
                         [](const ::testing::TestParamInfo<LookCase>& info) {
                             return std::string(info.param.name);
                         });

// A "qlw.ini" written by hand, with values no menu gives: the window still shows its menu box, its
// whole outline and the clock.
struct CraftedCase {
    const char* name;
    int corner;
    std::int32_t radius;
    std::int32_t format;
    std::int32_t height;
};

void PrintTo(const CraftedCase& c, std::ostream* os) {
    *os << c.name;
}

class LookCrafted : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(LookCrafted, StillShowsTheMenuBoxTheOutlineAndTheClock) {
    const CraftedCase& c = GetParam();
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_nCornerStyle = c.corner;
    s.m_nCornerRadius = c.radius;
    s.m_nTimeFormat = c.format;
    s.m_lfFont.lfHeight = c.height;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    const SchemeColors& colors = kSchemes[0];
    const RECT client = ClientRect(w);
    EXPECT_TRUE(PixelIs(w, {8, 11}, colors.accent)) << "triangle fill";
    EXPECT_TRUE(PixelIs(w, {8, 9}, colors.text)) << "triangle outline";
    EXPECT_TRUE(PixelIs(w, {16, 12}, colors.accent)) << "menu box frame";
    EXPECT_TRUE(PixelIs(w, {client.right / 2, client.bottom - 1}, colors.accent)) << "frame at the foot";
    EXPECT_TRUE(StripHasText(w, true));
}

INSTANTIATE_TEST_SUITE_P(Look, LookCrafted,
                         ::testing::Values(CraftedCase{"AllRoundedHugeRadius_Format99_LargestCharHeight", 2,
                                                       INT32_MAX, 99, INT32_MIN},
                                           CraftedCase{"TopRoundedNegativeRadius_FormatMinus5_LargestCell", 1,
                                                       INT32_MIN, -5, INT32_MAX}),
                         [](const ::testing::TestParamInfo<CraftedCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace e2e::look
