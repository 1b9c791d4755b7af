// The diary's sync off the window's thread: one run at a time on a copy of the notes, its outcome
// handed to the window to bring into the live diary, and the state kept only once the window says
// the days it took are safe.
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "diary/note_map.h"
#include "interaction/sync_status_text.h"
#include "sync/live_apply.h"
#include "sync/sync_account.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

class WinHttpTransport;

// The local time of a UTC instant, by the system's time zone rules for that instant.
quill::LocalMinute LocalMinuteAt(std::int64_t utcSeconds);

struct SyncJob {
    SyncAccount account;
    FsPath folder; // the diary's safety folder, ending with a separator
    int pivot = 2027;
    std::int64_t now = 0;
    NoteMap snapshot; // the diary as it was when the run was asked for
};

struct SyncOutcome {
    SyncReport report;
    SyncState state;
    bool hasState = false;          // the run got as far as reading the state
    std::uint64_t stateFileSum = 0; // of the state's file as the run read it
    std::vector<LiveDay> days;      // the days the run changed, typing not filled in
};

class SyncWorker {
  public:
    SyncWorker() = default;
    SyncWorker(const SyncWorker&) = delete;
    SyncWorker& operator=(const SyncWorker&) = delete;
    // Cancels a run in flight and waits for its thread, which then keeps nothing.
    ~SyncWorker();

    // A run is under way, its outcome waits for the window, or its state is being kept.
    bool Busy();
    // Starts a run; `window` is sent `ranMessage` once its outcome waits and `savedMessage` once the
    // state is kept and the try recorded. False when a run is under way or no thread could be had.
    bool Start(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage);
    // The outcome of the run that ended; nullopt when none waits.
    std::optional<SyncOutcome> TakeOutcome();
    // The window took what it could: the state (as it left it; none: the one on disk stays) is
    // written and the try recorded.
    void Finish(std::optional<SyncState> state);
    // Nothing of the run is kept: a cancelled or unwanted run leaves the state on disk as it was.
    void Abandon();
    // From the window's thread: the request in flight and every later one end at once.
    void Cancel();
    // Waits up to `ms` for the run's outcome; true when it came.
    bool WaitRan(DWORD ms);
    // Waits for the thread to end (after Finish or Abandon, or a Cancel); then the worker is free.
    void Join();
    // How the last finished run's try was recorded.
    SyncLastRun LastRun();

  private:
    void Run(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage);
    void RunSteps(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    WinHttpTransport* m_transport = nullptr; // the run's, while it is open
    bool m_cancelled = false;
    std::atomic<bool> m_stop{false}; // m_cancelled, for the run's own loops to see
    bool m_done = false;             // the thread has nothing left to do but end
    bool m_ran = false;              // the outcome is set (or was taken)
    std::optional<SyncOutcome> m_outcome;
    enum class Verdict { kNone, kKeep, kDrop } m_verdict = Verdict::kNone;
    std::optional<SyncState> m_keepState;
    SyncLastRun m_last;
};
