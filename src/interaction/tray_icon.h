// The notification-area icon: the program's handle in the taskbar, since the window has no button.
#pragma once
#include <windows.h>
#include <shellapi.h>

class TrayIcon {
  public:
    // Adds the icon for `owner`, taking away a stale one of the same window first; with the balloon
    // that explains the two clicks.
    void Install(HWND owner, HICON icon, bool balloon);
    void Remove();

  private:
    NOTIFYICONDATAW m_nid{};
};
