// Placement maths for the calendar window: desktop tests, centring, the menu box and dragging.
#include "interaction/placement.h"

#include <cstdint>

namespace quill {
namespace {

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
    return PlaceOnMonitors(std::span<const ScreenRect>(&desktop, 1), desktop, stored, window);
}

ScreenPoint PlaceOnMonitors(std::span<const ScreenRect> monitors, const ScreenRect& primary,
                            ScreenPoint stored, const ScreenRect& window) {
    if (monitors.empty())
        monitors = std::span<const ScreenRect>(&primary, 1);
    for (const ScreenRect& monitor : monitors) {
        if (IsPointOnDesktop(monitor, stored))
            return stored;
    }
    return CenterOnDesktop(primary, window);
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

void WindowDrag::Begin(ClientPoint anchor) {
    m_active = true;
    m_anchor = anchor;
}

std::optional<ScreenPoint> WindowDrag::Follow(ScreenPoint cursor, bool leftButtonHeld) {
    if (!m_active)
        return std::nullopt;
    if (!leftButtonHeld) {
        m_active = false;
        return std::nullopt;
    }
    return DragPosition(cursor, m_anchor);
}

bool WindowDrag::End() {
    const bool wasActive = m_active;
    m_active = false;
    return wasActive;
}

void WindowDrag::Rescale(int fromDpi, int toDpi) {
    m_anchor = {RescaleForDpi(m_anchor.x, fromDpi, toDpi), RescaleForDpi(m_anchor.y, fromDpi, toDpi)};
}

} // namespace quill
