// The crash journal of the running window: each record is the note being typed, written when it is
// filed, once typing has paused and at least every ten seconds while it goes on. The diary's keeper
// settles it when the notes are saved.
#include "safety/crash_journal.h"

#include "app/calendar_dlg.h"

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

void CrashJournal::Written(bool ok, ULONGLONG now) {
    if (ok) {
        m_bDue = false;
        return;
    }
    // Tried again after another pause, not on every tick.
    m_typedAt = m_dueSince = now;
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
