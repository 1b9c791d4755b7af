// The title font between the settings record, the display and the font dialog.
#include "appearance/title_font.h"

#include <algorithm>

#include "appearance/paint_geometry.h"
#include "appearance/settings_limits.h"

namespace quill {
namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameFace(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace

int DrawnTitleFontHeight(std::int32_t stored, int dpi) {
    return ScaleForDpi(ShowableTitleFontHeight(stored), dpi);
}

int DialogFontHeight(std::int32_t stored, int dialogDpi) {
    return ScaleForDpi(stored, dialogDpi);
}

std::int32_t StoredFontHeight(std::int32_t stored, int offered, int chosen, int dialogDpi) {
    return chosen == offered ? stored : UnscaleFromDpi(chosen, dialogDpi);
}

std::string DialogFaceName(std::string_view stored, std::span<const std::string> installed,
                           std::string_view substitute) {
    for (const std::string& face : installed) {
        if (SameFace(face, stored))
            return face;
    }
    return std::string(substitute.empty() ? stored : substitute);
}

} // namespace quill
