// Reading and writing "qlw.ini", and the placement steps of the defaults and of the save.
#include "app/calendar_dlg.h"
#include "appearance/settings_file.h"
#include "diary/win_file_system.h"
#include "interaction/placement_glue.h"

bool CCalendarDlg::LoadSettings(CalendarSettings& settings) {
    m_bSettingsUnreadable = false;
    WinFileSystem fs;
    std::string bytes;
    const FileError error = LoadFile(fs, GetTempFilePath(L"qlw.ini"), bytes);
    if (error != FileError::kNone) {
        m_bSettingsUnreadable = error != FileError::kNotFound;
        return false;
    }
    if (!DecodeSettings(bytes, settings, static_cast<std::uint8_t>(m_nFileKey), NarrowFromUtf16)) {
        m_bSettingsUnreadable = true;
        return false;
    }
    return true;
}

void CCalendarDlg::SetDefaultSettings(CalendarSettings& settings) {
    FillDefaultSettings(settings);
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    const quill::ScreenPoint centred = quill::CenterOnDesktop(DesktopRect(), ToScreenRect(m_rcWindow));
    settings.m_nPosX = centred.x;
    settings.m_nPosY = centred.y;
    m_bShowBalloon = true;
}

bool CCalendarDlg::SaveSettings(CalendarSettings& settings) {
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    const quill::ScreenRect desktop = DesktopRect();
    if (quill::IsPointOnDesktop(desktop, {m_rcWindow.left, m_rcWindow.top})) {
        settings.m_nPosX = m_rcWindow.left;
        settings.m_nPosY = m_rcWindow.top;
    } else {
        const quill::ScreenPoint centred = quill::CenterOnDesktop(desktop, ToScreenRect(m_rcWindow));
        settings.m_nPosX = centred.x;
        settings.m_nPosY = centred.y;
    }
    WinFileSystem fs;
    const SaveResult result = SaveDataFile(fs, GetTempFilePath(L"qlw.ini"),
                                           EncodeSettings(settings, static_cast<std::uint8_t>(m_nFileKey)),
                                           m_bSettingsUnreadable, LocalFileStamp());
    if (result.outcome == SaveOutcome::kSaved)
        m_bSettingsUnreadable = false;
    return result.outcome == SaveOutcome::kSaved;
}
