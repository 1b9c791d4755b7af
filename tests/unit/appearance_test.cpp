// Colour schemes and paint geometry: scheme colours, clock text offset, gradients, outline, strip parts.
#include <gtest/gtest.h>

#include "appearance/color_scheme.h"
#include "appearance/calendar_settings.h"
#include "appearance/paint_geometry.h"

#include <climits>
#include <optional>

using namespace quill;

TEST(ColorScheme, TableHoldsTheFiveSchemes) {
    const ColorScheme expected[] = {
        {0x00FADCDC, 0x00BE6464, 0x00643232}, // blue
        {0x00C8FAC8, 0x004B964B, 0x00326432}, // green
        {0x00C8C8FA, 0x005A5A96, 0x00323264}, // red
        {0x0096FAFA, 0x00329696, 0x00003232}, // yellow
        {0x00DCDCDC, 0x00787878, 0x00323232}, // grey
    };
    for (int scheme = 0; scheme < kColorSchemeCount; ++scheme) {
        EXPECT_EQ(FindColorScheme(scheme), expected[scheme]) << "scheme " << scheme;
    }
    for (int scheme : {-1, 5, 7, INT_MIN, INT_MAX}) {
        EXPECT_EQ(FindColorScheme(scheme), std::nullopt) << "scheme " << scheme;
    }
    EXPECT_EQ(StartupColors(), expected[0]);
}

TEST(PaintGeometry, TextTopOffset) {
    struct Case {
        int height;
        int strip;
        int expected;
    } cases[] = {
        {-16, 23, 2},  {-11, 23, 4}, {-17, 23, 2},     {-20, 23, 1},
        {-21, 23, 0},  {-22, 23, 0}, {-23, 23, 0},     {-24, 23, 0},
        {-500, 23, 0}, {0, 23, 7},   {16, 23, 13},     {-1, 0, 0},
        {1, 0, 0},     {5, 0, 1},    {INT_MIN, 23, 0}, {INT_MAX, 23, 715827890},
        {-16, 24, 2},  {-15, 24, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextTopOffset(c.height, c.strip), c.expected) << c.height << " in " << c.strip;
    }
}

TEST(PaintGeometry, GradientByStyle) {
    const Colorref back = 0x00FADCDC;
    const Colorref accent = 0x00BE6464;
    const ClientRect strip = TitleStripRect(309, kTitleHeight);
    const GradientVertex backAtOrigin{0, 0, 0xDC00, 0xDC00, 0xFA00, 0};
    const GradientVertex accentAtOrigin{0, 0, 0x6400, 0x6400, 0xBE00, 0};
    const GradientVertex backAtCorner{309, 23, 0xDC00, 0xDC00, 0xFA00, 0};
    const GradientVertex accentAtCorner{309, 23, 0x6400, 0x6400, 0xBE00, 0};
    struct Case {
        int style;
        TitleGradient expected;
    } cases[] = {
        {0, {GradientDirection::Vertical, backAtOrigin, accentAtCorner}},
        {1, {GradientDirection::Vertical, accentAtOrigin, backAtCorner}},
        {2, {GradientDirection::Horizontal, backAtOrigin, accentAtCorner}},
        {3, {GradientDirection::Horizontal, accentAtOrigin, backAtCorner}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TitleGradientFor(c.style, back, accent, strip), c.expected) << "style " << c.style;
    }
    for (int style : {-1, 4, 9, INT_MIN, INT_MAX}) {
        EXPECT_EQ(TitleGradientFor(style, back, accent, strip), std::nullopt) << "style " << style;
    }
    EXPECT_EQ(MakeGradientVertex({1, 2}, 0x00FFFFFF), (GradientVertex{1, 2, 0xFF00, 0xFF00, 0xFF00, 0}));
}

TEST(PaintGeometry, CornerRegionByStyle) {
    struct Case {
        int style;
        CornerRegion expected;
    } cases[] = {
        {0, {RegionKind::Rect, {0, 0, 309, 275}, 0, 0}},
        {1, {RegionKind::RoundRect, {0, 0, 310, 290}, 15, 15}},
        {2, {RegionKind::RoundRect, {0, 0, 310, 276}, 15, 15}},
        {3, {RegionKind::Rect, {0, 0, 309, 275}, 0, 0}},
        {5, {RegionKind::Rect, {0, 0, 309, 275}, 0, 0}},
        {-1, {RegionKind::Rect, {0, 0, 309, 275}, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CornerRegionFor(c.style, 309, 275, kDefaultCornerRadius), c.expected)
            << "style " << c.style;
    }
    // The radius comes from the settings file unchecked.
    EXPECT_EQ(CornerRegionFor(1, 309, 275, INT_MAX).rect.bottom, INT_MAX);
}

TEST(PaintGeometry, StripParts) {
    const ClientRect strip = TitleStripRect(309, kTitleHeight);
    EXPECT_EQ(strip, (ClientRect{0, 0, 309, 23}));
    EXPECT_EQ(MenuButtonRect(kTitleHeight), (ClientRect{0, 0, 17, 24}));
    EXPECT_EQ(ClockTextRect(strip, -16, kTitleHeight), (ClientRect{0, 2, 309, 23}));
    EXPECT_EQ(ClockTextRect(strip, -30, kTitleHeight), (ClientRect{0, 0, 309, 23}));
    EXPECT_EQ(StripUnderline(strip), (LineSegment{{0, 23}, {309, 23}}));
    const auto triangle = MenuTriangle();
    EXPECT_EQ(triangle[0], (ClientPoint{3, 9}));
    EXPECT_EQ(triangle[1], (ClientPoint{13, 9}));
    EXPECT_EQ(triangle[2], (ClientPoint{8, 14}));
}
