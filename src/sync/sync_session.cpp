// One sync of a diary as the widget and the notes tool run it, and the record of how tries ended.
#include "sync/sync_session.h"

#include <limits>

namespace {

// The state belongs to the account's collection only when it is on the same server and was found
// by the same name; a state of another one would take that collection's days for this one's.
bool StateFits(const SyncState& state, const SyncAccount& account) {
    if (state.collection.empty()) {
        return true;
    }
    const std::optional<SyncOrigin> mine = OriginOfSyncUrl(account.serverUrl);
    const std::optional<SyncOrigin> its = OriginOfSyncUrl(state.collection);
    if (!mine || !its || mine->Text() != its->Text()) {
        return false;
    }
    const std::string& name = state.name.empty() ? std::string(kCollectionName) : state.name;
    return name == account.collection;
}

} // namespace

SyncSessionResult RunSyncSession(HttpTransport& transport, NoteMap& notes, FileSystem& fs,
                                 const SyncSessionInput& input) {
    SyncSessionResult result;
    result.state = LoadSyncState(fs, input.folder + kSyncStateFileName, nullptr, &result.stateMark);
    if (!StateFits(result.state, input.account)) {
        result.state = SyncState{};
        result.stateMark = SyncStateMark{};
    }
    SyncOptions options;
    options.serverUrl = input.account.serverUrl;
    options.pivot = input.pivot;
    options.stamp = input.now;
    options.localDateOf = input.localDateOf;
    options.collectionName = input.account.collection;
    options.stop = input.stop;
    CalDavClient client(transport);
    result.report = RunSync(client, notes, result.state, options);
    if (!result.state.collection.empty()) {
        result.state.name =
            input.account.collection == kCollectionName ? std::string() : input.account.collection;
    }
    return result;
}

SyncLastRun RecordSyncTry(FileSystem& fs, const FsPath& folder, const SyncReport& report, std::int64_t now) {
    SyncLastRun last = LoadSyncLastRun(fs, folder);
    last.tried = now;
    if (report.status == SyncStatus::kOk) {
        last.succeeded = now;
        last.failures = 0;
        last.userTold = false;
        last.pushed = report.pushed;
        last.pulled = report.pulled;
        last.joined = report.joined;
    } else {
        // A failure of another kind is news the user has not been told.
        if (last.status != report.status) {
            last.userTold = false;
        }
        if (report.reachedEnd) {
            // Every other day was synced: an entry left out is told, but the sync keeps its pace
            // rather than backing off for what trying again will not change.
            last.succeeded = now;
            last.failures = 0;
            last.pushed = report.pushed;
            last.pulled = report.pulled;
            last.joined = report.joined;
        } else if (last.failures < std::numeric_limits<int>::max()) {
            ++last.failures;
        }
    }
    last.status = report.status;
    SaveSyncLastRun(fs, folder, last);
    return last;
}
