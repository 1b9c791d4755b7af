// The settings' defaults as the window places them: centred on the desktop, the balloon shown with
// the first tray icon. The settings' files are the diary session's.
#include "app/calendar_dlg.h"
#include "interaction/placement_glue.h"

void CCalendarDlg::SetDefaultSettings(CalendarSettings& settings) {
    FillDefaultSettings(settings);
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    const quill::ScreenPoint centred = quill::CenterOnDesktop(DesktopRect(), ToScreenRect(m_rcWindow));
    settings.m_nPosX = centred.x;
    settings.m_nPosY = centred.y;
    m_tray.ShowBalloonAtInstall();
}
