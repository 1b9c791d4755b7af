// The lunar view's colours and sizes.
#include "interaction/lunar_look.h"

#include <cmath>

namespace quill {
namespace {

int Scale(int pixelsAt96, int dpi) {
    return (pixelsAt96 * dpi + 48) / 96;
}

double Channel(std::uint8_t value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(Colorref color) {
    return 0.2126 * Channel(RedOf(color)) + 0.7152 * Channel(GreenOf(color)) +
           0.0722 * Channel(BlueOf(color));
}

constexpr Colorref kRed = Rgb(190, 0, 0);
constexpr Colorref kWorkGrey = Rgb(80, 80, 80);

} // namespace

Colorref Blend(Colorref a, Colorref b, int weight) {
    auto mix = [weight](std::uint8_t x, std::uint8_t y) {
        return static_cast<std::uint8_t>((x * weight + y * (256 - weight) + 128) / 256);
    };
    return Rgb(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

double ContrastRatio(Colorref a, Colorref b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

GridPalette PaletteOf(const ColorScheme& scheme) {
    GridPalette p;
    p.back = scheme.back;
    p.text = scheme.text;
    // Faint, yet still readable: the template's calendar hides them in the background colour.
    p.faint = Blend(scheme.text, scheme.back, 110);
    p.weekend = kRed;
    p.weekendFaint = Blend(kRed, scheme.back, 110);
    p.titleBack = scheme.accent;
    p.titleText = scheme.back;
    p.selectBack = scheme.accent;
    p.selectText = scheme.back;
    p.todayFrame = kRed;
    p.restBadge = kRed;
    p.workBadge = kWorkGrey;
    p.badgeText = Rgb(255, 255, 255);
    p.weekNumber = scheme.accent;
    return p;
}

GridPalette ContrastPalette(const ContrastColors& c) {
    GridPalette p;
    p.back = c.window;
    p.text = c.windowText;
    p.faint = c.grayText;
    // Told apart by the badge and the weekday heads rather than by a colour the theme lacks.
    p.weekend = c.windowText;
    p.weekendFaint = c.grayText;
    p.titleBack = c.highlight;
    p.titleText = c.highlightText;
    p.selectBack = c.highlight;
    p.selectText = c.highlightText;
    p.todayFrame = c.hotLight;
    p.restBadge = c.highlight;
    p.workBadge = c.windowText;
    p.badgeText = c.window;
    p.weekNumber = c.windowText;
    // The work badge's text must read against it, whatever the theme.
    if (ContrastRatio(p.workBadge, p.badgeText) < 3.0)
        p.badgeText = c.highlightText;
    return p;
}

GridFonts GridFontsAt(int dpi) {
    return {Scale(15, dpi), Scale(12, dpi), Scale(12, dpi), Scale(14, dpi), Scale(12, dpi)};
}

GridSizes GridSizesAt(int dpi) {
    const GridFonts f = GridFontsAt(dpi);
    GridSizes s;
    s.titleHeight = f.title + Scale(8, dpi);
    s.headerHeight = f.head + Scale(4, dpi);
    s.weekColumn = Scale(20, dpi);
    // Two caption characters and the badge beside the number, and a little air.
    s.minCellWidth = 2 * f.caption + f.badge + Scale(3, dpi);
    s.minCellHeight = f.number + f.caption + Scale(4, dpi);
    return s;
}

} // namespace quill
