// What runs the diary's sync off the window's thread, as the session sees it: a job on a copy of the
// notes, an outcome to bring into the diary, the state kept once the days it took are safe. The
// Windows build runs it on a thread of its own; the tests run it by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "diary/note_map.h"
#include "files/file_store.h"
#include "sync/live_apply.h"
#include "sync/sync_account.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

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
    SyncStateMark stateMark;        // of the state's files as the run read them
    std::vector<LiveDay> days;      // the days the run changed, typing not filled in
};

class SyncRunner {
  public:
    virtual ~SyncRunner() = default;
    // Starts a run; false when one is under way or none could start. Once its outcome waits the
    // runner says so (the session's RunEnded), and again when its thread has ended (RunFinished),
    // whatever became of it.
    virtual bool Start(SyncJob job) = 0;
    // A run is under way, its outcome waits, or its state is being kept.
    virtual bool Running() = 0;
    // The outcome of the run that ended; nullopt when none waits (or the run was cancelled).
    virtual std::optional<SyncOutcome> TakeOutcome() = 0;
    // The session took what it could: the state (none: the one on disk stays) is written.
    virtual void Finish(std::optional<SyncState> state) = 0;
    // The request in flight and every later one end at once, and nothing of the run is kept.
    virtual void Cancel() = 0;
    // Waits up to `ms` for the run's outcome; true when it came.
    virtual bool WaitRan(std::uint64_t ms) = 0;
    // Waits up to `ms` for the run's thread to end; true when it did (or there was none).
    virtual bool WaitEnded(std::uint64_t ms) = 0;
    // A run that did not end in time is left to the process's exit: nothing waits for it any more.
    // It writes only whole files, so whatever it was doing leaves the old state or the new.
    virtual void Forsake() = 0;
};
