// The commands that read a diary and change nothing: list, show, search and stats.
#pragma once

#include <string>

#include "notes_tool/command_table.h"

namespace notes_tool {

struct ListArguments {
    FileArgument file;
    int pivot = 0;
    bool lunar = false;
};
void SetUpList(CLI::App& command, ListArguments& o, int defaultPivot);
void RunList(Tool& tool, const ListArguments& o);

struct ShowArguments {
    std::string day;
    FileArgument file;
    int pivot = 0;
    bool lunar = false;
};
void SetUpShow(CLI::App& command, ShowArguments& o, int defaultPivot);
void RunShow(Tool& tool, const ShowArguments& o);

struct SearchArguments {
    std::string needle;
    FileArgument file;
    bool regex = false;
    int pivot = 0;
};
void SetUpSearch(CLI::App& command, SearchArguments& o, int defaultPivot);
void RunSearch(Tool& tool, const SearchArguments& o);

struct StatsArguments {
    FileArgument file;
    int pivot = 0;
};
void SetUpStats(CLI::App& command, StatsArguments& o, int defaultPivot);
void RunStats(Tool& tool, const StatsArguments& o);

} // namespace notes_tool
