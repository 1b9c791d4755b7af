// What a finished sync run does to the diary the window holds now, which may have moved on while
// the run worked on its copy: a day the user did not touch takes the synced text; a day typed into
// keeps what was typed and is compared afresh by the next run, so the server's text is joined to it
// instead of either being lost.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "diary/note_map.h"
#include "sync/sync_state.h"

// One day the run changed in its copy.
struct LiveDay {
    std::string key;
    std::string snapshot; // the note when the run's copy was taken
    std::string synced;   // the note the run left in its copy
    bool typing = false;  // the note box holds typing for this day that is not filed yet
};

struct LiveApplyReport {
    std::vector<std::string> taken; // days that now hold the synced text
    std::vector<std::string> kept;  // days that keep the live text, to be joined by the next run
};

// Called before a day's note changes: puts the new text in the journal, so a crash before the next
// save still brings it back. False when it could not be written.
using RecordDay = std::function<bool(std::string_view key, std::string_view text)>;

// For each day: when the live note still equals the snapshot and nothing is being typed into it,
// the synced text is journalled, then filed in `live`. Otherwise (or when the journal refused it)
// the live note stays, and the day's entry in `state` (the run's new state, not saved yet) is made
// to read the server again and to take the snapshot as the text both sides agreed on. `pivot` is
// the century window of the diary's keys.
LiveApplyReport ApplySyncedDays(NoteMap& live, SyncState& state, const std::vector<LiveDay>& days, int pivot,
                                const RecordDay& record);
