// The crash journal of the running window: written when a note is filed, once typing has paused and
// at least every ten seconds while it goes on; removed when the notes are saved, set aside when the
// run is discarded.
#include "diary/crash_journal.h"

#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/safety_win.h"
#include "diary/win_file_system.h"

void CrashJournal::Typed(ULONGLONG now) {
    m_typedAt = now;
    if (!m_bDue)
        m_dueSince = now;
    m_bDue = true;
}

bool CrashJournal::Due(ULONGLONG now) const {
    // After a pause in the typing, and also while it goes on without one: a steady typist must
    // not lose more than the last few seconds to a crash.
    return m_bDue && (now - m_typedAt >= static_cast<ULONGLONG>(kJournalQuietMs) ||
                      now - m_dueSince >= static_cast<ULONGLONG>(kJournalLongestMs));
}

bool CrashJournal::Write(std::string_view bytes) {
    WinFileSystem fs;
    const FsPath folder = SafetyFolderPath();
    const FsPath path = folder + JournalName(CurrentRun());
    if (EnsureSafetyFolder(folder) && WriteSafetyFile(fs, path, bytes)) {
        m_path = path;
        m_bDue = false;
        return true;
    }
    // Tried again after another pause, not on every tick.
    m_typedAt = m_dueSince = ::GetTickCount64();
    return false;
}

void CrashJournal::Saved(NotesRecovery& recovery) {
    WinFileSystem fs;
    // Removed with the patience of every other file step: a journal left behind is older than the
    // save, so the next start would only keep it, but it should not be there at all.
    if (!m_path.empty())
        RemoveFile(fs, m_path);
    m_path.clear();
    m_bDue = false;
    SettleOrphanJournals(fs, recovery);
    recovery.orphanJournals.clear();
}

void CrashJournal::Discard() {
    // Escape means "do not save this run", not "destroy what I typed". A journal recovered at start
    // stays where it is until notes are saved.
    m_bDue = false;
    if (m_path.empty())
        return;
    WinFileSystem fs;
    const std::size_t slash = m_path.find_last_of(L"\\/");
    const FsPath discarded = m_path.substr(0, slash + 1) + DiscardedJournalName(CurrentRun());
    if (MoveOver(fs, m_path, discarded) == FileError::kNone)
        m_path.clear();
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

void CCalendarDlg::JournalNoteFiled() {
    // Showing the new day's note cleared the edit box's flag: typing was noticed just before.
    if (m_journal.Pending())
        WriteJournal();
}

bool CCalendarDlg::WriteJournal() {
    // A diary that was never read must not be journalled: the journal would win over the file.
    if (!m_bNotesLoaded)
        return false;
    try {
        // What the OK path would save, without touching the list itself.
        return m_journal.Write(EncodeNotesWithNote(m_notes, m_strDateKey, CurrentNoteText()));
    } catch (...) {
        return false;
    }
}

void CCalendarDlg::CloseJournal(bool bNotesSaved) {
    if (bNotesSaved)
        m_journal.Saved(m_recovery);
    else
        WriteJournal(); // the journal is now the only place that holds this run's notes
}

void CCalendarDlg::DiscardJournal() {
    if (m_journal.Pending())
        WriteJournal();
    m_journal.Discard();
}
