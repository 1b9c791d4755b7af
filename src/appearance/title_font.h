// The title font between the settings record, the display and the font dialog. The record keeps the
// height in pixels at 96 DPI, so a settings file means the same size on every screen; the strip draws
// it scaled to the window's DPI, and the font dialog, which reads heights in the screen's pixels, is
// given it scaled and gives it back scaled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quill {

// The height the strip draws with at `dpi`: the record's height brought into the strip as it is when
// the file is read (a font picked larger would show only its top half), then scaled.
int DrawnTitleFontHeight(std::int32_t stored, int dpi);

// The height the font dialog opens on, in the pixels of the screen it measures with.
int DialogFontHeight(std::int32_t stored, int dialogDpi);

// The height the record keeps after the dialog's OK. A dialog that hands back the height it was
// offered leaves the record's own value, so opening and confirming the dialog never rounds it; any
// other height is taken back to 96 DPI.
std::int32_t StoredFontHeight(std::int32_t stored, int offered, int chosen, int dialogDpi);

// The face the dialog opens on. A face that is not installed would leave the dialog on whatever face
// its list starts with, at its smallest size: the stored face when installed (ASCII letters in any
// case, as the font mapper matches them), else the face the mapper draws in its place, else the
// stored one unchanged.
std::string DialogFaceName(std::string_view stored, std::span<const std::string> installed,
                           std::string_view substitute);

} // namespace quill
