// cal: a month as cal prints it, with the lunar calendar's marks and * on the days with a note.
#include "notes_tool/calendar_commands.h"

#include <CLI/CLI.hpp>

#include <set>

#include "diary/notes_file.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/lunar_days.h"

namespace notes_tool {

void SetUpCal(CLI::App& command, CalArguments& o, int) {
    command.add_option("MONTH", o.month, "YYYY-MM (default: this month)");
    AddFileOption(command, o.file, "FILE");
}

void RunCal(Tool& tool, const CalArguments& o) {
    const ToolHost& host = tool.Host();
    std::string monthArgument = o.month;
    std::string fileName = o.file.name;
    bool fileGiven = o.file.Given();
    // One positional that is no month is the FILE.
    if (!monthArgument.empty() && !fileGiven && !ParseIsoDate(monthArgument + "-01")) {
        fileName = monthArgument;
        monthArgument.clear();
        fileGiven = true;
    }
    int year = host.today.year, month = host.today.month;
    if (!monthArgument.empty()) {
        const auto date = ParseIsoDate(monthArgument + "-01");
        if (!date) {
            Fail("", "MONTH \"" + monthArgument + "\" is no month: YYYY-MM", kExitUsage);
        }
        year = date->year;
        month = date->month;
    }
    std::set<std::string> noted;
    FsPath notesPath;
    if (fileGiven || (!host.defaultNotes.empty() && host.fs->Exists(host.defaultNotes))) {
        const LoadedNotes notes = tool.Load(tool.NotesFile(fileGiven, fileName));
        for (const StoredEntry& entry : notes.scan.entries) {
            if (!IsBlankNote(entry.text.value)) {
                noted.insert(entry.key.value);
            }
        }
        notesPath = notes.file.path;
    }
    tool.Out(MonthCalendar(year, month, noted, ScheduleFor(tool, notesPath, nullptr)));
}

} // namespace notes_tool
