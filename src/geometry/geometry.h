// Points and rectangles of the screen and of the window's client area, the arithmetic that keeps them
// in int, and sizes scaled from one DPI to another: what placement, painting and the note box share.
#pragma once

#include <cstdint>
#include <vector>

namespace quill {

// Screen coordinates may be negative (a monitor left of or above the primary one).
struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Client coordinates of the calendar window, which has neither border nor caption.
struct ClientPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ClientPoint&, const ClientPoint&) = default;
};

struct ClientRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ClientRect&, const ClientRect&) = default;
};

// Window rectangles and cursor positions are system values, but a position or a font height restored
// from the settings file is not: the arithmetic is kept wide and the result brought back into range
// instead of overflowing.
int ClampToInt(std::int64_t value);

// Every size the window draws is in pixels at 96 DPI, the display it was drawn for; a display of more
// dots per inch gets each of them scaled, so the window keeps its proportions and stays sharp.
inline constexpr int kDefaultDpi = 96;

// A DPI below 1 (a failed query) counts as 96.
int UsableDpi(int dpi);

// `pixels` at one DPI as many at another, rounded half away from zero as MulDiv rounds. A DPI below 1
// counts as 96, and the result stays in int whatever the operands.
int RescaleForDpi(int pixels, int fromDpi, int toDpi);
// From 96 DPI to `dpi`, and back.
int ScaleForDpi(int pixels, int dpi);
int UnscaleFromDpi(int pixels, int dpi);

// The parts of a box's client area that lie outside its text rectangle (top, bottom, left, right;
// empty ones left out). A multi-line edit box scrolls only its text rectangle, a whole number of
// lines, so what shows in the strip under the last line is repainted by nobody but a full repaint.
std::vector<ClientRect> OutsideTextRect(const ClientRect& client, const ClientRect& text);

} // namespace quill
