// Reading and writing "nts.ini" in the temporary folder through the atomic, nothing-lost file layer,
// with the safety folder's journals and copies to fall back on and to keep up to date.
#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/safety_win.h"
#include "diary/win_file_system.h"

#include <future>

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
    // The safety copy is written on a second thread while the notes file is written here: a diary
    // of decades is tens of megabytes, and the two writes then take the time of about one (below a
    // megabyte, starting the thread costs more than it saves). It only replaces the safety copy
    // once the notes file holds the same bytes.
    std::future<FsPath> staging;
    constexpr std::size_t kWorthAThread = 1 << 20;
    if (!path.empty() && bytes.size() >= kWorthAThread) {
        const FsPath folder = SafetyFolderPath();
        try {
            if (EnsureSafetyFolder(folder))
                staging = std::async(std::launch::async, [&bytes, folder] {
                    WinFileSystem own;
                    return StageSafetyCopy(own, SafetyFolderView{folder, {}}, bytes);
                });
        } catch (...) {
            // No thread to be had: the copy is written after the save, as it always could be.
        }
    }
    auto staged = [&]() -> FsPath {
        try {
            return staging.valid() ? staging.get() : FsPath();
        } catch (...) {
            return {};
        }
    };
    const bool saved = SaveThenCopy(fs, path, bytes, m_bNotesUnreadable, stamp, [&] {
        SettleLeftovers(fs, LeftoversOf(path), notes, stamp, NarrowFromUtf16);
        const SafetyFolderView safety = ReadSafetyFolder();
        const FsPath ahead = staged();
        if (EnsureSafetyFolder(safety.folder))
            CopyNotesToSafety(fs, safety, bytes, LocalDayNumber(), m_recovery.keepAside, stamp, ahead);
        else if (!ahead.empty())
            RemoveFile(fs, ahead);
    });
    if (!saved) {
        // The notes file does not hold these bytes, so neither may the safety copy: a journal newer
        // than the file must still win at the next start.
        if (const FsPath ahead = staged(); !ahead.empty())
            RemoveFile(fs, ahead);
        return false;
    }
    m_bNotesUnreadable = false;
    m_recovery.keepAside.clear();
    return true;
}
