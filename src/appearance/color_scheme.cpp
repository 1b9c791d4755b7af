// The five colour schemes of the calendar window: light, medium and dark colour of each.
#include "appearance/color_scheme.h"

#include <array>

namespace quill {
namespace {

constexpr std::array<ColorScheme, kColorSchemeCount> kSchemes{{
    {Rgb(220, 220, 250), Rgb(100, 100, 190), Rgb(50, 50, 100)}, // blue
    {Rgb(200, 250, 200), Rgb(75, 150, 75), Rgb(50, 100, 50)},   // green
    {Rgb(250, 200, 200), Rgb(150, 90, 90), Rgb(100, 50, 50)},   // red
    {Rgb(250, 250, 150), Rgb(150, 150, 50), Rgb(50, 50, 0)},    // yellow
    {Rgb(220, 220, 220), Rgb(120, 120, 120), Rgb(50, 50, 50)},  // grey
}};

} // namespace

std::optional<ColorScheme> FindColorScheme(int scheme) {
    if (scheme < 0 || scheme >= kColorSchemeCount) {
        return std::nullopt;
    }
    return kSchemes[static_cast<std::size_t>(scheme)];
}

ColorScheme StartupColors() {
    return kSchemes[0];
}

} // namespace quill
