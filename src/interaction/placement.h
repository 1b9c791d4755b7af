// Placement maths for the calendar window: desktop tests, centring, the menu box and dragging.
#pragma once

#include <optional>
#include <span>

#include "geometry/geometry.h"

namespace quill {

// Left and top edges belong to the desktop, right and bottom do not (PtInRect).
bool IsPointOnDesktop(const ScreenRect& desktop, ScreenPoint point);

// Only the size of `window` matters. Each half is truncated on its own before the subtraction, so a
// 309 by 254 window on a 1024 by 768 desktop lands at (358, 257), not (357, 257).
ScreenPoint CenterOnDesktop(const ScreenRect& desktop, const ScreenRect& window);

// Where the window goes: the stored corner when it lies on the desktop, else centred on it. The one
// rule for placing the window at start and for the position a save records.
ScreenPoint PlaceOnDesktop(const ScreenRect& desktop, ScreenPoint stored, const ScreenRect& window);

// The same rule over every monitor: a stored corner on any of them (each with the desktop's edge rule)
// is kept, so a window left on a second screen comes back there; otherwise the window is centred on
// the primary monitor. No monitors at all (a failed query) leaves the primary one alone to test.
ScreenPoint PlaceOnMonitors(std::span<const ScreenRect> monitors, const ScreenRect& primary,
                            ScreenPoint stored, const ScreenRect& window);

// A press here opens the context menu instead of starting a drag; same edge rule as PtInRect.
bool IsInMenuBox(const ClientRect& rcMenuButton, ClientPoint point);

// Client point at which the context menu's top-left corner goes: just under the menu box.
ClientPoint MenuDropPoint(const ClientRect& rcMenuButton);

// Window position that keeps the pressed point (`anchor`, client coordinates) under the cursor.
ScreenPoint DragPosition(ScreenPoint cursor, ClientPoint anchor);

// A drag of the captionless window, from the press on its background to its end. It ends at the
// release, when the window loses the mouse capture (another window took it, or a system dialog
// cancelled the mode), and at a move that arrives without the left button held: the release then went
// somewhere else, and a window that followed such a move would stick to the cursor.
class WindowDrag {
  public:
    void Begin(ClientPoint anchor);
    // Where the window goes for a move with the cursor at `cursor`; nothing when no drag runs, or when
    // the button is no longer held, which also ends the drag.
    std::optional<ScreenPoint> Follow(ScreenPoint cursor, bool leftButtonHeld);
    // The release, or the capture gone. Says whether a drag was running.
    bool End();
    bool Active() const { return m_active; }
    ClientPoint Anchor() const { return m_anchor; }
    // The window was scaled from one DPI to another under the cursor: the pressed point scales with it.
    void Rescale(int fromDpi, int toDpi);

  private:
    bool m_active = false;
    ClientPoint m_anchor;
};

} // namespace quill
