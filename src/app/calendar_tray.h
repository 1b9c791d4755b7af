// The window's tray icon and its first add, tried again a few times over the first minute: early at
// sign-in the shell may not have made the notification area yet, and without another try the icon
// would be missing all day unless the shell announced its taskbar afterwards.
#pragma once
#include <windows.h>

#include "interaction/tray_icon.h"

class CalendarTray {
  public:
    // The icon's first add shows the balloon that explains the two clicks (a first run's).
    void ShowBalloonAtInstall() { m_bShowBalloon = true; }
    // False when the notification area did not take the icon.
    bool InstallTrayIcon(HWND window, HICON icon);
    // A tick of `timer`: the icon tried again, the timer set for the next try or stopped.
    void OnTrayTimer(HWND window, HICON icon, UINT_PTR timer);
    // The shell's notification area was made anew (the taskbar restarted): the icon goes back in.
    void OnTaskbarCreated(HWND window, UINT_PTR timer);

    TrayIcon icon;

  private:
    int m_nTrayFailedTries = 0;
    bool m_bShowBalloon = false;
};
