// The Chinese calendar's command: cal, a month with its lunar days, terms, festivals and rest days.
#pragma once

#include <string>

#include "notes_tool/command_table.h"

namespace notes_tool {

struct CalArguments {
    std::string month; // YYYY-MM; a first positional that is no month is taken for the FILE
    FileArgument file;
};
void SetUpCal(CLI::App& command, CalArguments& o, int defaultPivot);
void RunCal(Tool& tool, const CalArguments& o);

} // namespace notes_tool
