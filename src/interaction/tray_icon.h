// The notification-area icon: the program's handle in the taskbar, since the window has no button.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>

class TrayIcon {
  public:
    // Adds the icon for `owner`, taking away a stale one of the same window first; with the balloon
    // that explains the two clicks. False when the notification area did not take it (not made yet).
    bool Install(HWND owner, HICON icon, bool balloon);
    void Remove();
    // Adds the icon again, without the balloon, for a notification area that was made anew; nothing
    // once it was removed. The balloon goes with it while it has not been shown. True when added.
    bool Restore();
    // The tooltip from now on (GBK), kept through a Restore; empty: the program's name.
    void SetTip(std::string_view tip);
    // A balloon over the icon, once; nothing while the icon is not in.
    void ShowBalloon(std::string_view title, std::string_view text);

    // What the shell broadcasts when its taskbar starts, after a crash or a restart of Explorer as
    // much as at log-on; registered at run time, so it is not a constant.
    static UINT TaskbarCreatedMessage();

  private:
    NOTIFYICONDATAW m_nid{};
    // Between Install and Remove: a window on its way out gets no icon back.
    bool m_bShown = false;
    // The balloon asked for has not reached the notification area yet.
    bool m_bBalloonDue = false;
    std::string m_strTip;
};
