// A finished run's changes brought into the live diary without losing what was typed meanwhile.
#include "sync/live_apply.h"

#include <optional>
#include <set>

#include "sync/day_resource.h"
#include "sync/three_way.h"

namespace {

// The day's own text in a note: the note less the other clients' entries the state shows in it, as
// the run compares it.
std::string OwnPart(SyncState& state, const std::string& date, std::string_view note) {
    std::vector<ForeignEntry*> entries;
    for (auto& [href, resource] : state.foreign) {
        for (ForeignEntry& entry : resource.entries) {
            if (CompactDate(entry.date) == date) {
                entries.push_back(&entry);
            }
        }
    }
    const auto day = state.days.find(date);
    return OwnTextOfNote(note,
                         day != state.days.end() ? std::string_view(day->second.base) : std::string_view(),
                         ForeignTextsIn(note, entries, true));
}

void CompareAfresh(SyncState& state, std::string_view key, std::string_view snapshot, int pivot) {
    const std::optional<SyncDate> date = SyncDateOfKey(key, pivot);
    if (!date) {
        return;
    }
    const std::string d = CompactDate(*date);
    const std::string own = OwnPart(state, d, snapshot);
    if (IsBlankNote(own)) {
        // Nothing was agreed on: the next run meets the two texts as two PCs meeting on a new day.
        state.days.erase(d);
        return;
    }
    SyncDayState& day = state.days[d];
    // The ETag goes so the run reads the server's text again even when the listing no longer names
    // the day; the href, when known, stays (the run fills in the day's own otherwise).
    day.etag.clear();
    day.base = own;
}

} // namespace

LiveApplyReport ApplySyncedDays(NoteMap& live, SyncState& state, const std::vector<LiveDay>& days, int pivot,
                                const RecordDay& record) {
    LiveApplyReport report;
    std::set<std::string> seen;
    for (const LiveDay& day : days) {
        if (!seen.insert(day.key).second) {
            continue;
        }
        const bool untouched = !day.typing && live.FindNote(day.key) == day.snapshot;
        if (untouched && (!record || record(day.key, day.synced))) {
            live.SetNote(day.key, day.synced);
            report.taken.push_back(day.key);
        } else {
            CompareAfresh(state, day.key, day.snapshot, pivot);
            report.kept.push_back(day.key);
        }
    }
    return report;
}
