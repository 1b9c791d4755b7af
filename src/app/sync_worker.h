// The diary's sync off the window's thread: one run at a time on a copy of the notes, its outcome
// handed to the session to bring into the live diary, and the state kept only once the session says
// the days it took are safe. A run the close cannot wait for is left to the process's exit.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <thread>

#include "interaction/sync_status_text.h"
#include "session/sync_runner.h"

// The local time of a UTC instant, by the system's time zone rules for that instant.
quill::LocalMinute LocalMinuteAt(std::int64_t utcSeconds);

class SyncWorker : public SyncRunner {
  public:
    SyncWorker();
    SyncWorker(const SyncWorker&) = delete;
    SyncWorker& operator=(const SyncWorker&) = delete;
    // Cancels a run in flight and waits a moment for its thread; one that does not end is left.
    ~SyncWorker() override;

    // `window` is sent `ranMessage` once a run's outcome waits and `endedMessage` once its thread
    // has nothing left to do, whatever became of the run.
    void Report(HWND window, UINT ranMessage, UINT endedMessage);

    bool Start(SyncJob job) override;
    bool Running() override;
    std::optional<SyncOutcome> TakeOutcome() override;
    void Finish(std::optional<SyncState> state) override;
    void Cancel() override;
    bool WaitRan(std::uint64_t ms) override;
    bool WaitEnded(std::uint64_t ms) override;
    void Forsake() override;

    struct Shared;

  private:
    void Join();

    // Held by the run's thread too, so a thread left running at exit never reaches a worker gone.
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    // Told once: the session tries again on its back-off, and each try would say the same.
    bool m_startFailureTold = false;
};
