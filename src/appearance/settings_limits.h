// What the calendar window can draw of a settings record. "qlw.ini" is read unchecked, so a file
// written by hand or damaged may ask for a corner that hides the menu box, a clock format without a
// pattern or a title font that does not fit the strip; those values are brought to the nearest the
// window draws properly, and every value it draws properly is left exactly as the file has it.
//
// Scheme, corner style and gradient numbers without a meaning of their own are kept: they already
// draw as the startup colours, square corners and a flat strip.
#pragma once

#include <cstdint>

#include "appearance/calendar_settings.h"
#include "appearance/paint_geometry.h"

namespace quill {

// CreateRoundRectRgn's ellipse size, so a corner's curve reaches half of it into the window. Up to
// the menu box's width it stays clear of the box's triangle and ends well inside the strip. Rounded
// top corners take a rectangle reaching the radius below the window, and the region leaves out its
// last row: from 1 up that row is below the window, while 0 cuts the frame's foot and a negative
// size cuts as many rows more.
inline constexpr std::int32_t kMinCornerRadius = 1;
inline constexpr std::int32_t kMaxCornerRadius = 2 * kMenuButtonWidth;

// The title font's height in pixels either way: a character height when negative, a cell height
// when positive, the font mapper's default size when 0 (kept: it fits). Below 8 the clock is a row of
// specks. Above, the text starts TextTopOffset down the strip, and its ascent, which holds every digit
// and capital, must end inside the strip: with Tahoma's proportions (ascent 2049 and descent 423 to
// an em of 2048) that allows characters of 22 and cells of 13, which also bound the larger sizes the
// font dialog offers. Descenders may be cut: clamping down to where they fit would undo a user's choice.
inline constexpr std::int32_t kMinTitleFontHeight = 8;
inline constexpr std::int32_t kMaxTitleCharHeight = 22;
inline constexpr std::int32_t kMaxTitleCellHeight = 13;

CalendarSettings ShowableSettings(CalendarSettings settings);

// The title-font height part of it: 0 kept, any other height brought to the nearest in range.
std::int32_t ShowableTitleFontHeight(std::int32_t height);

} // namespace quill
