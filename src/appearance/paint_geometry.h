// Where the calendar window paints: title strip, menu box, triangle, clock text, gradient and outline.
#pragma once

#include "appearance/color_scheme.h"
#include "interaction/placement.h"

#include <array>
#include <cstdint>
#include <optional>

namespace quill {

inline constexpr int kTitleHeight = 23;
inline constexpr int kMenuButtonWidth = 17;
// The template leaves the note box this many pixels short of the window's foot; set-up adds them.
inline constexpr int kNoteBoxExtension = 13;

// (0, 0, client width, strip height): the strip the clock repaints.
ClientRect TitleStripRect(int clientWidth, int titleHeight);

// (0, 0, 17, strip height + 1): one pixel taller than the strip, so its frame meets the line under it.
ClientRect MenuButtonRect(int titleHeight);

// Corners of the down-pointing triangle in the menu box.
std::array<ClientPoint, 3> MenuTriangle();

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
