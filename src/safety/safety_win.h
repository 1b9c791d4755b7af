// Where this user's safety folders are on this machine, which diary the temporary folder holds,
// and whether another run still goes.
#pragma once

#include <vector>

#include "safety/safety_store.h"
#include "safety/diary_keeper.h"

// The safety folders, best first: %LOCALAPPDATA%\Quillidar\, then a folder of another name beside
// it (used when a file stands where the first should be), then one in the temporary folder (when
// the system names no application-data folder, or the journal finds the others unwritable while the
// window runs). Every start reads all of them.
std::vector<FsPath> SafetyRoots();
// The diary of this user's temporary folder: its notes file, the safety folders, its identity.
DiaryPlace TempDiaryPlace();

// This process: its id and creation time.
RunStamp CurrentRun();
// False only when the run's process has ended or its id now belongs to a later process.
bool RunIsRunning(const RunStamp& run);

// Today's local date as the number YYYYMMDD.
int LocalDayNumber();

// What earlier refused or interrupted saves left beside the data file `file` ("<name>.new-N").
std::vector<FsPath> LeftoversOf(const FsPath& file);
