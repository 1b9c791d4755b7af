// The desktop as the placement maths sees it: the primary screen's bounds, from the desktop window.
#pragma once
#include <windows.h>

#include "interaction/placement.h"

quill::ScreenRect DesktopRect();
// Where `window` goes given a stored corner: that corner when it lies on the desktop, else centred.
quill::ScreenPoint PlacementFor(HWND window, quill::ScreenPoint stored);
inline quill::ScreenRect ToScreenRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
