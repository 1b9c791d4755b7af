// The official schedule the window marks its days with: the built-in years and a newer year's from the
// holidays file, found where quillidar-notes finds it, so the window and the tool show the same 休/班.
#pragma once

#include <vector>

#include "almanac/almanac.h"
#include "files/file_store.h"

namespace quill {

// The file in the first of `folders` (the diary's safety folders, best first, each ending with a
// separator) that holds one. One that cannot be read or has any fault gives the built-in years only.
almanac::HolidaySchedule ScheduleFromFolders(FileSystem& fs, const std::vector<FsPath>& folders);

} // namespace quill
