// The lunar view's colours and sizes: from the window's colour scheme, or from the system's colours
// in high contrast; font and part sizes at a DPI.
#pragma once

#include "appearance/color_scheme.h"
#include "interaction/month_grid.h"

namespace quill {

struct GridPalette {
    Colorref back = 0;
    Colorref text = 0;
    Colorref faint = 0;        // days of the neighbouring months
    Colorref weekend = 0;      // Saturday, Sunday and the days off
    Colorref weekendFaint = 0; // the same in a neighbouring month
    Colorref titleBack = 0;
    Colorref titleText = 0;
    Colorref selectBack = 0;
    Colorref selectText = 0;
    Colorref todayFrame = 0;
    Colorref restBadge = 0; // 休
    Colorref workBadge = 0; // 班
    Colorref badgeText = 0;
    Colorref weekNumber = 0;
};

// The system colours high contrast is drawn with.
struct ContrastColors {
    Colorref window = 0;
    Colorref windowText = 0;
    Colorref highlight = 0;
    Colorref highlightText = 0;
    Colorref grayText = 0;
    Colorref hotLight = 0;
};

// As the month calendar is coloured for the scheme: its background, its day text, the title in the
// accent colour; with red for days off as Chinese calendars print them.
GridPalette PaletteOf(const ColorScheme& scheme);

// Only the system's colours, so that whatever theme the user chose reads as it does elsewhere.
GridPalette ContrastPalette(const ContrastColors& colors);

// A's share of `weight` (0 to 256) blended with B.
Colorref Blend(Colorref a, Colorref b, int weight);

// WCAG's contrast ratio of two colours, 1 to 21.
double ContrastRatio(Colorref a, Colorref b);

// Font heights (em, pixels) at a DPI. A CJK glyph fills nearly its whole em, so an em of 12 at 96 DPI
// gives characters of at least 11 pixels.
struct GridFonts {
    int number = 0;
    int caption = 0;
    int badge = 0;
    int title = 0;
    int head = 0;
};
GridFonts GridFontsAt(int dpi);

// The parts' least sizes at a DPI, from those fonts.
GridSizes GridSizesAt(int dpi);

} // namespace quill
