// This run's crash journal: where it is once written, and the typing not yet in it.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "diary/safety_store.h"

class CrashJournal {
  public:
    // The user typed at `now` (GetTickCount64).
    void Typed(ULONGLONG now);
    // Typing since the last write.
    bool Pending() const { return m_bDue; }
    // Typing has paused long enough, or gone on too long without a pause.
    bool Due(ULONGLONG now) const;
    // The bytes as this run's journal; false when they could not be written (tried again after
    // another pause).
    bool Write(std::string_view bytes);
    // The notes are saved: this run's journal goes, and the journals of ended runs are settled.
    void Saved(NotesRecovery& recovery);
    // Escape: the journal, brought up to date by the caller, goes under a name no start loads.
    void Discard();

  private:
    std::wstring m_path;
    ULONGLONG m_typedAt = 0;
    // When the typing not yet in the journal began.
    ULONGLONG m_dueSince = 0;
    bool m_bDue = false;
};
