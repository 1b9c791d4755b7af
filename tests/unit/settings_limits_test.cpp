// What the window can draw of a settings record: crafted values brought into range, others untouched.
#include <gtest/gtest.h>

#include "test_bytes.h"

#include <climits>
#include <cmath>
#include <fstream>
#include <iterator>

#include "appearance/clock_format.h"
#include "appearance/settings_file.h"
#include "appearance/settings_limits.h"

using namespace quill;

namespace {

// Every field set and none at its default, so a rule that touches the wrong field shows.
CalendarSettings Sample() {
    CalendarSettings s;
    s.m_nColorScheme = 7;
    s.m_nCornerStyle = 5;
    s.m_nGradient = 9;
    s.m_nTimeFormat = 41;
    s.m_nCornerRadius = 12;
    s.m_nPosX = -1920;
    s.m_nPosY = INT_MIN;
    s.m_lfFont.lfHeight = -13;
    s.m_lfFont.lfItalic = 1;
    s.m_lfFont.lfWeight = 900;
    SetFaceName(s.m_lfFont, "\xCB\xCE\xCC\xE5");
    s.m_strCustomFormat = "%H";
    return s;
}

TEST(ShowableSettings, OutOfRangeValuesComeToTheNearestTheWindowDraws) {
    struct Case {
        const char* what;
        std::int32_t radius, format, height;
        std::int32_t expectedRadius, expectedFormat, expectedHeight;
    } cases[] = {
        {"all in range", 15, 43, -16, 15, 43, -16},
        {"the edges of every range", 1, 40, -8, 1, 40, -8},
        {"the other edges", 34, 46, -22, 34, 46, -22},
        {"cell heights", 12, 44, 8, 12, 44, 8},
        {"largest cell", 12, 45, 13, 12, 45, 13},
        {"font mapper's default size", 12, 42, 0, 12, 42, 0},
        {"one past each top", 35, 47, -23, 34, 43, -22},
        {"one past each bottom", 0, 39, -7, 1, 43, -8},
        {"one past the largest cell", 12, 43, 14, 12, 43, 13},
        {"small cell height", 12, 43, 7, 12, 43, 8},
        {"largest values", INT_MAX, INT_MAX, INT_MAX, 34, 43, 13},
        {"smallest values", INT_MIN, INT_MIN, INT_MIN, 1, 43, -22},
        {"menu ids of other groups", -5, 99, 1, 1, 43, 8},
        {"no format", 12, 0, -1, 12, 43, -8},
    };
    for (const Case& c : cases) {
        CalendarSettings in = Sample();
        in.m_nCornerRadius = c.radius;
        in.m_nTimeFormat = c.format;
        in.m_lfFont.lfHeight = c.height;
        CalendarSettings expected = Sample();
        expected.m_nCornerRadius = c.expectedRadius;
        expected.m_nTimeFormat = c.expectedFormat;
        expected.m_lfFont.lfHeight = c.expectedHeight;
        EXPECT_EQ(ShowableSettings(in), expected) << c.what;
        EXPECT_EQ(ShowableSettings(expected), expected) << c.what << ": a second pass changed it";
    }
}

TEST(ShowableSettings, AFileInRangeIsSavedWithTheBytesItWasReadFrom) {
    const std::string golden = ReadData("qlw_defaults_400_300.bin");
    ASSERT_EQ(golden.size(), 66u);
    CalendarSettings loaded;
    ASSERT_TRUE(DecodeSettings(golden, loaded, kFileKey));
    EXPECT_EQ(EncodeSettings(ShowableSettings(loaded), kFileKey), golden);
}

TEST(ShowableSettings, TheLimitsFitWhatThePainterDraws) {
    // Each corner of the menu box's triangle, taken as a whole pixel, inside the rounded corner.
    const double r = kMaxCornerRadius / 2.0;
    for (const ClientPoint p : MenuTriangle()) {
        const double dx = std::max(0.0, r - p.x);
        const double dy = std::max(0.0, r - p.y);
        EXPECT_LE(dx * dx + dy * dy, r * r) << p.x << "," << p.y;
    }
    EXPECT_LT(r, kTitleHeight) << "the curve ends inside the strip";
    // The region leaves out its last row, which must lie below the window's.
    const ClientRect topRounded = CornerRegionFor(1, 309, 275, kMinCornerRadius).rect;
    EXPECT_GE(topRounded.bottom - 1, 275);

    // The text's top in the strip plus its ascent, in Tahoma's proportions: 2049 of an em of 2048, or
    // of a cell of 2049 + 423.
    auto ascentBottom = [](int height) {
        const double ascent = height < 0 ? -height * 2049.0 / 2048.0 : height * 2049.0 / 2472.0;
        return TextTopOffset(height, kTitleHeight) + static_cast<int>(std::ceil(ascent));
    };
    EXPECT_LE(ascentBottom(-kMaxTitleCharHeight), kTitleHeight);
    EXPECT_GT(ascentBottom(-kMaxTitleCharHeight - 1), kTitleHeight);
    EXPECT_LE(ascentBottom(kMaxTitleCellHeight), kTitleHeight);
    EXPECT_GT(ascentBottom(kMaxTitleCellHeight + 1), kTitleHeight);
    EXPECT_LE(ascentBottom(kMinTitleFontHeight), kTitleHeight);
    EXPECT_LE(ascentBottom(-kMinTitleFontHeight), kTitleHeight);
}

} // namespace
