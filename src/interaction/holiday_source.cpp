// Where the window's holidays come from.
#include "interaction/holiday_source.h"

#include <string>

namespace quill {

almanac::HolidaySchedule ScheduleFromFolders(FileSystem& fs, const std::vector<FsPath>& folders) {
    const std::string name = almanac::HolidayFileName();
    for (const FsPath& folder : folders) {
        const FsPath path = folder + FsPath(name.begin(), name.end());
        if (!fs.Exists(path))
            continue;
        std::string bytes;
        if (fs.ReadAll(path, bytes) != FileError::kNone)
            return almanac::HolidaySchedule::BuiltIn();
        // `quillidar-notes check` names the faults; the window only keeps a faulty file's marks off.
        return almanac::HolidaySchedule::WithFile(bytes, nullptr);
    }
    return almanac::HolidaySchedule::BuiltIn();
}

} // namespace quill
