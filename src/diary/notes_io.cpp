// Reading and writing "nts.ini" in the temporary folder through the atomic, nothing-lost file layer,
// with the safety folder's journals and copies to fall back on and to keep up to date.
#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/safety_win.h"
#include "diary/win_file_system.h"

bool CCalendarDlg::LoadNotes(NoteMap& notes) {
    WinFileSystem fs;
    m_recovery = RecoverNotes(fs, GetTempFilePath(kNotesFileName), ReadSafetyFolder(), RunIsRunning, notes,
                              NarrowFromUtf16);
    // A file that holds more than was loaded is copied aside before it is replaced, whichever
    // source the notes came from.
    m_bNotesUnreadable = m_recovery.keepTempAside;
    return m_recovery.source != NotesSource::kFirstRun;
}

bool CCalendarDlg::SaveNotes(const NoteMap& notes) {
    WinFileSystem fs;
    const FsPath path = GetTempFilePath(kNotesFileName);
    EnsureFolderOf(path);
    const std::string bytes = EncodeNotes(notes);
    const std::string stamp = LocalFileStamp();
    if (!SaveThenCopy(fs, path, bytes, m_bNotesUnreadable, stamp, [&] {
            SettleLeftovers(fs, LeftoversOf(path), notes, stamp, NarrowFromUtf16);
            const SafetyFolderView safety = ReadSafetyFolder();
            if (EnsureSafetyFolder(safety.folder))
                CopyNotesToSafety(fs, safety, bytes, LocalDayNumber(), m_recovery.keepAside, stamp);
        }))
        return false;
    m_bNotesUnreadable = false;
    m_recovery.keepAside.clear();
    return true;
}
