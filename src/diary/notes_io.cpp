// Reading and writing "nts.ini" in the temporary folder through the atomic, nothing-lost file layer,
// with the safety folder's journals and copies to fall back on and to keep up to date.
#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/safety_win.h"
#include "diary/win_file_system.h"

bool CCalendarDlg::LoadNotes(NoteMap& notes) {
    WinFileSystem fs;
    m_recovery = RecoverNotes(fs, GetTempFilePath(L"nts.ini"), ReadSafetyFolder(), RunIsRunning, notes,
                              NarrowFromUtf16);
    // A damaged file is copied aside before it is replaced, whichever source the notes came from.
    m_bNotesUnreadable = m_recovery.tempUnreadable;
    return m_recovery.source != NotesSource::kFirstRun;
}

bool CCalendarDlg::SaveNotes(const NoteMap& notes) {
    WinFileSystem fs;
    const std::string bytes = EncodeNotes(notes);
    const SaveResult result =
        SaveDataFile(fs, GetTempFilePath(L"nts.ini"), bytes, m_bNotesUnreadable, LocalFileStamp());
    if (result.outcome != SaveOutcome::kSaved)
        return false;
    m_bNotesUnreadable = false;
    const SafetyFolderView safety = ReadSafetyFolder();
    if (EnsureSafetyFolder(safety.folder))
        CopyNotesToSafety(fs, safety, bytes, LocalDayNumber());
    return true;
}
