// Where the calendar window paints: title strip, menu box, triangle, clock text, gradient and outline,
// and how each of those sizes follows the display's DPI.
#pragma once

#include "appearance/color_scheme.h"
#include "geometry/geometry.h"

#include <array>
#include <cstdint>
#include <optional>

namespace quill {

// Every size below is in pixels at 96 DPI (kDefaultDpi) and scaled for the display. The frames and the
// line under the strip stay one pixel at every DPI: sharp, and meeting the controls, which the dialog
// manager places one pixel under the line whatever the DPI.
inline constexpr int kTitleHeight = 23;
inline constexpr int kMenuButtonWidth = 17;
// The template leaves the note box this many pixels short of the window's foot; set-up adds them.
inline constexpr int kNoteBoxExtension = 13;

// The window's fixed sizes at one DPI.
struct WindowMetrics {
    int dpi = kDefaultDpi;
    int titleHeight = kTitleHeight;
    int menuButtonWidth = kMenuButtonWidth;
    int noteBoxExtension = kNoteBoxExtension;
    friend bool operator==(const WindowMetrics&, const WindowMetrics&) = default;
};
WindowMetrics MetricsForDpi(int dpi);

// (0, 0, client width, strip height): the strip the clock repaints.
ClientRect TitleStripRect(int clientWidth, int titleHeight);

// (0, 0, width, strip height + 1): one pixel taller than the strip, so its frame meets the line under it.
ClientRect MenuButtonRect(int titleHeight, int width = kMenuButtonWidth);

// Corners of the down-pointing triangle in the menu box.
std::array<ClientPoint, 3> MenuTriangle(int dpi = kDefaultDpi);

// Top of the clock text inside the strip. `lfHeight` comes from the settings file unchecked, so any
// int is accepted (INT_MIN included) without overflow.
int TextTopOffset(int lfHeight, int strip);

// The clock is centred horizontally between the left edge and the strip's right end, from the
// offset above down to the strip's bottom.
ClientRect ClockTextRect(const ClientRect& rcTitle, int lfHeight, int titleHeight);

// The line under the strip, drawn along y = strip bottom across the whole width.
struct LineSegment {
    ClientPoint from;
    ClientPoint to;
    friend bool operator==(const LineSegment&, const LineSegment&) = default;
};
LineSegment StripUnderline(const ClientRect& rcTitle);

// Where the clock text goes. It stays centred across the whole strip, where it has always been, while
// it fits between the menu box and the right frame with two pixels to spare on each side; a text too
// wide for that starts two pixels right of the box, and one wider than the room there ends in an
// ellipsis. Either way it never covers the box or the frame.
struct ClockTextPlacement {
    ClientRect rect;     // the rectangle handed to DrawText, which also clips to it
    bool centred = true; // DT_CENTER; else left-aligned and ended with an ellipsis where cut
    friend bool operator==(const ClockTextPlacement&, const ClockTextPlacement&) = default;
};
// `textWidth` is the widest line of the text in the title font; `lfHeight` the height the font is
// drawn with, `titleHeight` the strip's.
ClockTextPlacement PlaceClockText(const ClientRect& rcTitle, const ClientRect& menuBox, int lfHeight,
                                  int titleHeight, int textWidth);

// One corner of a two-vertex gradient rectangle, channels 16 bits wide as GradientFill wants them.
struct GradientVertex {
    int x = 0;
    int y = 0;
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
    std::uint16_t alpha = 0;
    friend bool operator==(const GradientVertex&, const GradientVertex&) = default;
};

enum class GradientDirection { Vertical, Horizontal };

struct TitleGradient {
    GradientDirection direction = GradientDirection::Vertical;
    GradientVertex start; // top-left corner of the strip
    GradientVertex end;   // bottom-right corner of the strip
    friend bool operator==(const TitleGradient&, const TitleGradient&) = default;
};

GradientVertex MakeGradientVertex(ClientPoint at, Colorref color);

// Styles 0 and 1 run top to bottom, 2 and 3 left to right; even styles start light, odd ones start
// with the accent. Any other style paints no gradient (the flat background shows).
std::optional<TitleGradient> TitleGradientFor(int style, Colorref back, Colorref accent,
                                              const ClientRect& rcTitle);

// Outline of the window, in window coordinates (the same as client ones for this window).
enum class RegionKind { Rect, RoundRect };

struct CornerRegion {
    RegionKind kind = RegionKind::Rect;
    ClientRect rect;
    int ellipseWidth = 0; // RoundRect only
    int ellipseHeight = 0;
    friend bool operator==(const CornerRegion&, const CornerRegion&) = default;
};

// Style 1 rounds the top corners only, by letting the rounded rectangle reach `radius` pixels below
// the window; style 2 rounds all four; anything else is the plain client rectangle.
CornerRegion CornerRegionFor(int style, int width, int height, int radius);

} // namespace quill
