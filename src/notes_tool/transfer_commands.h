// The commands that carry a diary to and from other formats: export and import.
#pragma once

#include <string>

#include "notes_tool/command_table.h"

namespace notes_tool {

struct ExportArguments {
    FileArgument file;
    std::string format, out, from, to; // each left out is told from one given empty by its option
    const CLI::Option* formatOption = nullptr;
    const CLI::Option* outOption = nullptr;
    const CLI::Option* fromOption = nullptr;
    const CLI::Option* toOption = nullptr;
    int pivot = 0;
};
void SetUpExport(CLI::App& command, ExportArguments& o, int defaultPivot);
void RunExport(Tool& tool, const ExportArguments& o);

struct ImportArguments {
    std::string in;
    std::string format;
    const CLI::Option* formatOption = nullptr;
    FileArgument file;
    std::string onConflict = "keep";
    bool includeEvents = false;
    int pivot = 0;
};
void SetUpImport(CLI::App& command, ImportArguments& o, int defaultPivot);
void RunImport(Tool& tool, const ImportArguments& o);

} // namespace notes_tool
