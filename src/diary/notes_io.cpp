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
    // A file that holds more than was loaded is copied aside before it is replaced, whichever
    // source the notes came from.
    m_bNotesUnreadable = m_recovery.keepTempAside;
    return m_recovery.source != NotesSource::kFirstRun;
}

bool CCalendarDlg::SaveNotes(const NoteMap& notes) {
    WinFileSystem fs;
    const FsPath path = GetTempFilePath(L"nts.ini");
    if (path.empty())
        return false;
    EnsureFolderOf(path);
    const std::string bytes = EncodeNotes(notes);
    const std::string stamp = LocalFileStamp();
    const SaveResult result = SaveDataFile(fs, path, bytes, m_bNotesUnreadable, stamp);
    if (result.outcome != SaveOutcome::kSaved)
        return false;
    m_bNotesUnreadable = false;
    std::vector<FsPath> leftovers;
    for (const FsPath& found : FilesBeside(path, L".new-*")) {
        const std::size_t slash = found.find_last_of(L"\\/");
        if (IsLeftoverName(std::wstring_view(found).substr(slash + 1), L"nts.ini"))
            leftovers.push_back(found);
    }
    SettleLeftovers(fs, leftovers, notes, stamp, NarrowFromUtf16);
    const SafetyFolderView safety = ReadSafetyFolder();
    if (EnsureSafetyFolder(safety.folder))
        CopyNotesToSafety(fs, safety, bytes, LocalDayNumber(), m_recovery.keepAside, stamp);
    m_recovery.keepAside.clear();
    return true;
}
