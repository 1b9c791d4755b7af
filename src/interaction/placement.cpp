// Placement maths for the calendar window: desktop tests, centring, the menu box and dragging.
#include "interaction/placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quill {
namespace {

// Window rectangles and cursor positions are system values, but a position restored from the settings
// file is not: keep the arithmetic wide and bring the result back into range instead of overflowing.
int ClampToInt(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool InHalfOpen(int value, int low, int high) {
    return value >= low && value < high;
}

} // namespace

bool IsPointOnDesktop(const ScreenRect& desktop, ScreenPoint point) {
    return InHalfOpen(point.x, desktop.left, desktop.right) &&
           InHalfOpen(point.y, desktop.top, desktop.bottom);
}

ScreenPoint CenterOnDesktop(const ScreenRect& desktop, const ScreenRect& window) {
    const std::int64_t width = std::int64_t{window.right} - window.left;
    const std::int64_t height = std::int64_t{window.bottom} - window.top;
    const std::int64_t middleX = (std::int64_t{desktop.left} + desktop.right) / 2;
    const std::int64_t middleY = (std::int64_t{desktop.top} + desktop.bottom) / 2;
    return {ClampToInt(middleX - width / 2), ClampToInt(middleY - height / 2)};
}

ScreenPoint PlaceOnDesktop(const ScreenRect& desktop, ScreenPoint stored, const ScreenRect& window) {
    return IsPointOnDesktop(desktop, stored) ? stored : CenterOnDesktop(desktop, window);
}

bool IsInMenuBox(const ClientRect& rcMenuButton, ClientPoint point) {
    return InHalfOpen(point.x, rcMenuButton.left, rcMenuButton.right) &&
           InHalfOpen(point.y, rcMenuButton.top, rcMenuButton.bottom);
}

ClientPoint MenuDropPoint(const ClientRect& rcMenuButton) {
    return {0, rcMenuButton.bottom};
}

ScreenPoint DragPosition(ScreenPoint cursor, ClientPoint anchor) {
    return {ClampToInt(std::int64_t{cursor.x} - anchor.x), ClampToInt(std::int64_t{cursor.y} - anchor.y)};
}

} // namespace quill
