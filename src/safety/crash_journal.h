// When this run's journal of edits is written: as a note is filed, once typing has paused, and at
// least every ten seconds while it goes on.
#pragma once
#include <cstdint>

class CrashJournal {
  public:
    // The user typed at `now` (a steady count of milliseconds).
    void Typed(std::uint64_t now);
    // Typing since the last write.
    bool Pending() const { return m_bDue; }
    // Typing has paused long enough, or gone on too long without a pause.
    bool Due(std::uint64_t now) const;
    // The pending typing was written (or failed to be, and is tried again after another pause).
    void Written(bool ok, std::uint64_t now);

  private:
    std::uint64_t m_typedAt = 0;
    // When the typing not yet in the journal began.
    std::uint64_t m_dueSince = 0;
    bool m_bDue = false;
};
