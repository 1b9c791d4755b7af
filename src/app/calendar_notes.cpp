// Reading and writing "nts.ini" in the temporary folder through the diary's keeper: the atomic,
// nothing-lost file layer, the diary's own safety folder, its journal and its copies; and the
// window's side of the crash journal, the typing it notices and the records it writes.
#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "safety/safety_win.h"
#include "files/win_file_system.h"

#include <future>

bool CCalendarDlg::LoadNotes(NoteMap& notes) {
    m_keeper = std::make_unique<DiaryKeeper>(m_fs, TempDiaryPlace(), CurrentRun(), NarrowFromUtf16);
    const StartReport report = m_keeper->Start(notes, RunIsRunning);
    // A file that holds more than was loaded is copied aside before it is replaced, whichever
    // source the notes came from.
    m_bNotesUnreadable = report.keepTempAside;
    return report.HasDiary();
}

bool CCalendarDlg::SaveNotes(const NoteMap& notes) {
    if (!m_keeper)
        return false;
    const std::string bytes = EncodeNotes(notes);
    const std::string stamp = LocalFileStamp();
    const int today = LocalDayNumber();
    // The copies are written on a second thread while the notes file is written here: a diary of
    // decades is tens of megabytes, and the writes then share the disk's time instead of following
    // each other (below a megabyte, starting the thread costs more than it saves). They only take
    // their names once the notes file holds the same bytes.
    std::future<StagedCopies> staging;
    constexpr std::size_t kWorthAThread = 1 << 20;
    if (bytes.size() >= kWorthAThread && !m_keeper->Folder().empty()) {
        try {
            staging = std::async(std::launch::async, [&bytes, folder = m_keeper->Folder(), today] {
                WinFileSystem own;
                return DiaryKeeper::StageCopies(own, folder, bytes, today);
            });
        } catch (...) {
            ui::ReportCaught("starting the copies' thread");
            // No thread to be had: the copies are written after the save, as they always could be.
        }
    }
    const SaveReport report = m_keeper->Save(notes, bytes, today, stamp, [&]() -> StagedCopies {
        try {
            return staging.valid() ? staging.get() : StagedCopies();
        } catch (...) {
            ui::ReportCaught("the copies' thread");
            return {};
        }
    });
    if (!report.saved)
        return false;
    m_bNotesUnreadable = false;
    return true;
}

// Called on every clock tick: must not allocate unless a journal is due.
void CCalendarDlg::JournalTick() {
    if (m_journal.Due(::GetTickCount64()))
        WriteJournal();
}

void CCalendarDlg::NoticeTyping() {
    // The flag is taken down here so that the next keystroke raises it again and restarts the pause.
    if (m_edit && ::SendMessageW(m_edit, EM_GETMODIFY, 0, 0)) {
        ::SendMessageW(m_edit, EM_SETMODIFY, FALSE, 0);
        m_bNoteEdited = true;
        m_journal.Typed(::GetTickCount64());
    }
}

bool CCalendarDlg::WriteJournal() {
    // A diary that was never read must not be journalled: its edits would be applied to another.
    if (!m_bNotesLoaded || !m_keeper)
        return false;
    bool ok = false;
    try {
        // The day's note as it stands in the box; its base is what the diary held for the day.
        ok = m_keeper->Record(m_strDateKey, CurrentNoteText(), m_notes);
    } catch (...) {
        ui::ReportCaught("the journal's write");
        ok = false;
    }
    m_journal.Written(ok, ::GetTickCount64());
    return ok;
}
