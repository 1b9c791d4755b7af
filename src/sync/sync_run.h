// One sync of a diary with its CalDAV collection: what changed on either side since the state,
// decided day by day by the three-way rules and carried out with conditional writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "diary/note_map.h"
#include "sync/caldav_client.h"
#include "sync/sync_state.h"

struct SyncOptions {
    std::string serverUrl;  // as the user gave it; discovery starts there
    int pivot = 2027;       // the century window of the diary's keys, as the notes tool's
    std::int64_t stamp = 0; // DTSTAMP of what is written, seconds since 1970 UTC
    std::function<SyncDate(std::int64_t)> localDateOf; // the local day of a UTC instant
    std::string collectionName = kCollectionName;      // the display name discovery looks for
    // Set from another thread to end the run between two days (with kCut, as a cancelled
    // transport would): a run over years of days does not hold a close up with its own work.
    const std::atomic<bool>* stop = nullptr;
};

struct SyncReport {
    SyncStatus status = SyncStatus::kOk;
    int pushed = 0;                       // days written to the server (joined ones included)
    int pulled = 0;                       // days whose note changed here (other clients' entries included)
    int joined = 0;                       // days changed on both sides, now holding both texts
    int deletedHere = 0;                  // notes emptied because the server's entry went
    int deletedThere = 0;                 // server entries removed because the note was emptied here
    std::vector<std::string> refused;     // hrefs of entries too large or unreadable, left as they are
    std::vector<std::string> changedKeys; // keys of the notes this run changed, for the window
    std::vector<std::string> changedFrom; // each one's note before the run, in the same order
    bool reachedEnd = false;              // every day was seen: a failure status is of some days only
    int outOfYears = 0;                   // days on the server the diary's two-digit years cannot hold
};

// Syncs `notes` with the collection. The notes and the state change only by what was done: a run
// cut short by a fault leaves every day either as it was or fully synced, and the next run picks
// up from there. Other clients' entries are shown in their day's note as parts of it (joined as
// the append merge joins), never written or removed on the server; an entry that goes away, or
// changes, takes its unchanged part out of the note with it; a note's parts are told apart by where
// they came from, never by equal words. A collection made again (gone with a 404, listed whole
// without an agreed day and none as agreed, or proved wrong about an agreed day it did not list), a
// day uploaded anew by a writer that never saw the text agreed here, and a diary that holds none of
// three or more agreed days (one that did not load) are compared afresh rather than taken for
// deletions: what the server lost is uploaded again.
SyncReport RunSync(CalDavClient& client, NoteMap& notes, SyncState& state, const SyncOptions& options);
