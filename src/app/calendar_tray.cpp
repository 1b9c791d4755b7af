// The tray icon's side in the window: its first add and the tries after it, its return when the
// taskbar is made anew, and what a click on it does.
#include "app/calendar_tray.h"

#include <shellapi.h>

#include "app/calendar_dlg.h"
#include "interaction/tray_record.h"

bool CalendarTray::InstallTrayIcon(HWND window, HICON hIcon) {
    // A run with more rights than the shell would not hear from it otherwise.
    ::ChangeWindowMessageFilterEx(window, TrayIcon::TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    return icon.Install(window, hIcon, m_bShowBalloon);
}

void CalendarTray::OnTrayTimer(HWND window, HICON hIcon, UINT_PTR timer) {
    if (InstallTrayIcon(window, hIcon)) {
        ::KillTimer(window, timer);
        return;
    }
    const unsigned wait = quill::TrayRetryDelayMs(++m_nTrayFailedTries);
    if (wait == 0)
        ::KillTimer(window, timer);
    else
        ::SetTimer(window, timer, wait, nullptr);
}

void CalendarTray::OnTaskbarCreated(HWND window, UINT_PTR timer) {
    // An icon still waiting for its first add needs no more tries once it is in.
    if (icon.Restore())
        ::KillTimer(window, timer);
}

void CCalendarDlg::ComeForward() {
    // A box open over the window (the pattern, the font, About) is what the user has to answer.
    ::SetForegroundWindow(::GetLastActivePopup(m_hWnd));
}

LRESULT CCalendarDlg::OnTrayNotify(WPARAM, LPARAM lParam) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // A box open over the window has disabled it (the font dialog too); the menu's own loop has not.
    const bool boxOpen = !::IsWindowEnabled(m_hWnd) || ::GetLastActivePopup(m_hWnd) != m_hWnd;
    switch (quill::DecideTrayAction(static_cast<std::int64_t>(lParam), boxOpen)) {
    case quill::TrayAction::ShowMenu:
        // Without being the foreground window the owner never hears of a click elsewhere, and the
        // menu would stay open; the null message lets the next click close it.
        ::SetForegroundWindow(m_hWnd);
        ShowContextMenu(cursor);
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
        break;
    case quill::TrayAction::BringToFront:
        ComeForward();
        break;
    case quill::TrayAction::None:
        break;
    }
    return 0;
}
