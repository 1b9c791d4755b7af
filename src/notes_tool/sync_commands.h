// sync and its commands: setup, now, status and off, the diary's two-way sync with a CalDAV server.
#pragma once

#include <string>

#include "notes_tool/command_table.h"
#include "sync/sync_account.h"

namespace notes_tool {

struct SyncSetupArguments {
    std::string url, user;
    std::string collection = kCollectionName;
    FileArgument file;
};
void SetUpSyncSetup(CLI::App& command, SyncSetupArguments& o, int defaultPivot);
void RunSyncSetup(Tool& tool, const SyncSetupArguments& o);

struct SyncNowArguments {
    FileArgument file;
    int pivot = 0; // no option: the default, as the widget's
};
void SetUpSyncNow(CLI::App& command, SyncNowArguments& o, int defaultPivot);
void RunSyncNow(Tool& tool, const SyncNowArguments& o);

// status and off name only the diary.
struct SyncFileArguments {
    FileArgument file;
};
void SetUpSyncFile(CLI::App& command, SyncFileArguments& o, int defaultPivot);
void RunSyncStatus(Tool& tool, const SyncFileArguments& o);
void RunSyncOff(Tool& tool, const SyncFileArguments& o);

// sync itself: one of the commands above.
struct SyncArguments {
    BoundCommands actions;
};
void SetUpSync(CLI::App& command, SyncArguments& o, int defaultPivot);
void RunSync(Tool& tool, const SyncArguments& o);

} // namespace notes_tool
