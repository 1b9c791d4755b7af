// Reading and writing "qlw.ini", with the safety folder's copy to fall back on and to keep up to date,
// and the placement steps of the defaults and of the save.
#include "app/calendar_dlg.h"
#include "appearance/settings_file.h"
#include "safety/safety_win.h"
#include "files/win_file_system.h"
#include "interaction/placement_glue.h"

bool CCalendarDlg::LoadSettings(CalendarSettings& settings) {
    WinFileSystem fs;
    const auto key = static_cast<std::uint8_t>(m_nFileKey);
    // The settings' copy lives in the diary's own safety folder, so each diary keeps its own look.
    const FsPath folder = m_keeper ? m_keeper->Folder() : FsPath();
    const SettingsRecovery recovery = RecoverSettings(
        fs, GetTempFilePath(kSettingsFileName), folder.empty() ? FsPath() : folder + kSettingsFileName,
        [&](std::string_view bytes, bool fromCopy) {
            if (!fromCopy)
                return DecodeSettings(bytes, settings, key, NarrowFromUtf16);
            // A copy that fails to load must not leave half of itself in the record.
            CalendarSettings loaded = settings;
            if (!DecodeSettings(bytes, loaded, key, NarrowFromUtf16))
                return false;
            settings = loaded;
            return true;
        });
    m_bSettingsUnreadable = recovery.tempUnreadable;
    return recovery.source != SettingsSource::kDefaults;
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
    const quill::ScreenPoint at = PlacementFor(m_hWnd, {m_rcWindow.left, m_rcWindow.top});
    settings.m_nPosX = at.x;
    settings.m_nPosY = at.y;
    WinFileSystem fs;
    const FsPath path = GetTempFilePath(kSettingsFileName);
    EnsureFolderOf(path);
    const std::string bytes = EncodeSettings(settings, static_cast<std::uint8_t>(m_nFileKey));
    auto afterSave = [&] {
        // What an earlier refused save left beside the file is older than what was just written.
        for (const FsPath& leftover : LeftoversOf(path))
            RemoveFile(fs, leftover);
        const FsPath folder = m_keeper ? m_keeper->Folder() : FsPath();
        if (!folder.empty() && fs.MakeFolders(folder) == FileError::kNone &&
            !HoldsBytes(fs, folder + kSettingsFileName, bytes))
            WriteSafetyFile(fs, folder + kSettingsFileName, bytes);
    };
    // Settings that did not change since they were read or last saved are not written again: a
    // close then reads two small files instead of writing and flushing two.
    if (!m_bSettingsUnreadable && HoldsBytes(fs, path, bytes)) {
        afterSave();
        return true;
    }
    if (!SaveThenCopy(fs, path, bytes, m_bSettingsUnreadable, LocalFileStamp(), afterSave))
        return false;
    m_bSettingsUnreadable = false;
    return true;
}
