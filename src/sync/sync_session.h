// One sync of a diary end to end, as the widget and the notes tool both run it: the state read
// from the diary's safety folder, RunSync, and what is kept afterwards. The caller owns the order
// in which things reach the disk: the notes first, then the state, so a crash between the two
// never takes a server's change for a local deletion.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "diary/note_map.h"
#include "files/file_store.h"
#include "sync/sync_account.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

struct SyncSessionInput {
    SyncAccount account;
    FsPath folder;        // the diary's safety folder, ending with a separator
    int pivot = 2027;     // the diary's century window, as the notes tool's
    std::int64_t now = 0; // UTC seconds: DTSTAMP of what is written
    std::function<SyncDate(std::int64_t)> localDateOf;
    const std::atomic<bool>* stop = nullptr; // SyncOptions::stop
};

struct SyncSessionResult {
    SyncReport report;
    SyncState state;         // the state after the run: saved by the caller once the notes are safe
    SyncStateMark stateMark; // of the state's files as read, for KeepSyncState
};

// Loads the state (a state of another server or collection is dropped and compared afresh) and
// runs the sync on `notes`. Saves nothing.
SyncSessionResult RunSyncSession(HttpTransport& transport, NoteMap& notes, FileSystem& fs,
                                 const SyncSessionInput& input);

// Records how a try ended in the folder's sync-last file and returns the new record (the back-off
// and "tell the user once" follow from it).
SyncLastRun RecordSyncTry(FileSystem& fs, const FsPath& folder, const SyncReport& report, std::int64_t now);
