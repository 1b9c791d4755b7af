// The title font's height between the record, the strip and the font dialog, and the face the dialog
// opens on.
#include <gtest/gtest.h>

#include "appearance/title_font.h"

#include <climits>
#include <string>
#include <vector>

using namespace quill;

TEST(TitleFont, DrawnHeightIsTheShowableHeightScaled) {
    struct Case {
        std::int32_t stored;
        int dpi;
        int expected;
    } cases[] = {
        {-16, 96, -16},    {-16, 144, -24}, {-11, 120, -14}, {0, 144, 0},
        {-22, 96, -22},    {-22, 144, -33}, {-96, 96, -22},  {-96, 144, -33}, // a size picked too tall
        {13, 96, 13},      {72, 192, 26},   {-3, 96, -8},    {INT_MIN, 144, -33},
        {INT_MAX, 96, 13}, {-16, 0, -16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DrawnTitleFontHeight(c.stored, c.dpi), c.expected) << c.stored << " at " << c.dpi;
    }
}

TEST(TitleFont, DialogHeightGoesOutScaledAndComesBackExact) {
    struct Case {
        const char* name;
        std::int32_t stored;
        int dpi;
        int chosen; // what the dialog hands back
        std::int32_t expected;
    } cases[] = {
        {"OK unchanged at 96", -16, 96, -16, -16},
        {"OK unchanged at 144", -16, 144, -24, -16},
        {"OK unchanged below 96 keeps the odd size", -17, 72, -13, -17},
        {"bigger at 144", -16, 144, -32, -21},
        {"12 pt at 120", -11, 120, -20, -16},
        {"cell height at 192", 10, 192, 30, 15},
        {"default size at 144", -16, 144, 0, 0},
    };
    for (const Case& c : cases) {
        const int offered = DialogFontHeight(c.stored, c.dpi);
        EXPECT_EQ(StoredFontHeight(c.stored, offered, c.chosen, c.dpi), c.expected) << c.name;
    }
    // Every height survives a trip through the dialog of a screen of 96 DPI or more.
    for (int dpi : {96, 120, 144, 192}) {
        for (std::int32_t h = -72; h <= 72; ++h)
            ASSERT_EQ(StoredFontHeight(h + 1, INT_MIN, DialogFontHeight(h, dpi), dpi), h)
                << h << " at " << dpi;
    }
}

TEST(TitleFont, DialogFaceIsInstalledOrTheMappersChoice) {
    const std::vector<std::string> installed = {"Tahoma", "Arial", "\xCB\xCE\xCC\xE5", "Bitstream Vera Sans"};
    struct Case {
        const char* name;
        std::string stored;
        std::string substitute;
        std::string expected;
    } cases[] = {
        {"installed", "Arial", "Tahoma", "Arial"},
        {"installed, other case", "tAHOMA", "Arial", "Tahoma"},
        {"Chinese face installed", "\xCB\xCE\xCC\xE5", "Tahoma", "\xCB\xCE\xCC\xE5"},
        {"missing: the mapper's face", "Bradley Hand ITC", "Bitstream Vera Sans", "Bitstream Vera Sans"},
        {"missing, no substitute known", "Bradley Hand ITC", "", "Bradley Hand ITC"},
        {"a prefix is not the face", "Aria", "Tahoma", "Tahoma"},
        {"empty face", "", "Tahoma", "Tahoma"},
        // Only ASCII letters fold: the second byte of a GBK character is never changed.
        {"GBK bytes do not fold", "\xCB\xCE\xCC\xC5", "Tahoma", "Tahoma"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DialogFaceName(c.stored, installed, c.substitute), c.expected) << c.name;
    }
    EXPECT_EQ(DialogFaceName("Arial", {}, "Tahoma"), "Tahoma");
}
