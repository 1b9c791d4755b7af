// Where the safety folder is on this machine, what is in it, and whether another run still goes.
#pragma once

#include "diary/safety_store.h"

// %LOCALAPPDATA%\Quillidar\ as the system names it for this user; empty when it names none.
FsPath SafetyFolderPath();
// The folder's path and the names of the files in it (none when it does not exist yet).
SafetyFolderView ReadSafetyFolder();
// Creates the folder when it is missing; false when it cannot be had.
bool EnsureSafetyFolder(const FsPath& folder);

// This process: its id and creation time.
RunId CurrentRun();
// False only when the run's process has ended or its id now belongs to a later process.
bool RunIsRunning(const RunId& run);

// What earlier refused or interrupted saves left beside the data file `file` ("<name>.new-N").
std::vector<FsPath> LeftoversOf(const FsPath& file);

// Today's local date as the number YYYYMMDD.
int LocalDayNumber();
