// The crash journal of the running window: each record is the note being typed, written when it is
// filed, once typing has paused and at least every ten seconds while it goes on. The diary's keeper
// settles it when the notes are saved.
#include "safety/crash_journal.h"

#include "safety/safety_store.h"

void CrashJournal::Typed(std::uint64_t now) {
    m_typedAt = now;
    if (!m_bDue)
        m_dueSince = now;
    m_bDue = true;
}

bool CrashJournal::Due(std::uint64_t now) const {
    // After a pause in the typing, and also while it goes on without one: a steady typist must
    // not lose more than the last few seconds to a crash.
    return m_bDue && (now - m_typedAt >= static_cast<std::uint64_t>(kJournalQuietMs) ||
                      now - m_dueSince >= static_cast<std::uint64_t>(kJournalLongestMs));
}

void CrashJournal::Written(bool ok, std::uint64_t now) {
    if (ok) {
        m_bDue = false;
        return;
    }
    // Tried again after another pause, not on every tick.
    m_typedAt = m_dueSince = now;
}
