// The program's icon drawn at each size it is shown at, not one image scaled: the window's two at
// its DPI, the notification area's at the session's.
#pragma once
#include <windows.h>

#include "ui/handle.h"

class WindowIcons {
  public:
    // The window's icons for `dpi`, set on it; the tray's once.
    void Load(HWND window, int dpi);
    HICON Big() const { return m_big.get(); }
    HICON Tray() const { return m_tray.get(); }

  private:
    ui::Icon m_big;
    ui::Icon m_small;
    ui::Icon m_tray;
};
