// The five colour schemes of the calendar window: light, medium and dark colour of each.
#pragma once

#include <cstdint>
#include <optional>

namespace quill {

// COLORREF layout, 0x00BBGGRR, so the values go to GDI and the month calendar as they are.
using Colorref = std::uint32_t;

constexpr Colorref Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Colorref{red} | (Colorref{green} << 8) | (Colorref{blue} << 16);
}
constexpr std::uint8_t RedOf(Colorref color) {
    return static_cast<std::uint8_t>(color & 0xFF);
}
constexpr std::uint8_t GreenOf(Colorref color) {
    return static_cast<std::uint8_t>((color >> 8) & 0xFF);
}
constexpr std::uint8_t BlueOf(Colorref color) {
    return static_cast<std::uint8_t>((color >> 16) & 0xFF);
}

struct ColorScheme {
    Colorref back = 0;   // m_crBack: window, month background, strip gradient end
    Colorref accent = 0; // m_crAccent: frames, triangle fill, line under the strip
    Colorref text = 0;   // m_crText: clock text, triangle outline, day numbers
    friend bool operator==(const ColorScheme&, const ColorScheme&) = default;
};

inline constexpr int kColorSchemeCount = 5;

// Empty for a scheme number without colours of its own; the window then keeps the colours it had.
std::optional<ColorScheme> FindColorScheme(int scheme);

// Colours the window holds before any valid scheme was applied (a settings file naming scheme 7 at
// start-up): the blue scheme, so the first paint never uses black on black.
ColorScheme StartupColors();

} // namespace quill
