// The display's dots per inch as a window sees them. The per-monitor calls exist from Windows 10
// (1607, 1703); on older systems the whole session has one DPI, the screen's.
#pragma once
#include <windows.h>

namespace ui {

// The DPI of the monitor the window is on (of the session's screen where the system knows no other).
int WindowDpi(HWND window);

// The screen's DPI, by which the font dialog turns pixel heights into points and back.
int ScreenDpi();

// The dialog manager of a per-monitor aware dialog rescales the dialog and its controls itself when
// the DPI changes; this one does all of it in its own handler instead, so it must not happen twice.
void TakeOverDpiChanges(HWND dialog);

// A system metric (an icon's size, say) at the given DPI; at the session's where the system has no
// per-DPI metrics.
int SystemMetricForDpi(int index, int dpi);

} // namespace ui
