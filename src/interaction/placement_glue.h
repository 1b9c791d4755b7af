// The screens as the placement maths sees them: the primary monitor's bounds, and every monitor's.
#pragma once
#include <windows.h>

#include <vector>

#include "interaction/placement.h"

// The primary monitor, from the desktop window; windows are centred on it.
quill::ScreenRect DesktopRect();
// Every monitor attached now, the primary one among them; empty when the system lists none.
std::vector<quill::ScreenRect> MonitorRects();
// Where `window` goes given a stored corner: that corner when it lies on a monitor, else centred on
// the primary one.
quill::ScreenPoint PlacementFor(HWND window, quill::ScreenPoint stored);
inline quill::ScreenRect ToScreenRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
