// The commands for a diary that may be damaged: check says what is in it, salvage recovers it.
#pragma once

#include <string>

#include "notes_tool/command_table.h"

namespace notes_tool {

struct CheckArguments {
    FileArgument file;
};
void SetUpCheck(CLI::App& command, CheckArguments& o, int defaultPivot);
void RunCheck(Tool& tool, const CheckArguments& o);

struct SalvageArguments {
    std::string file, out;
    bool force = false;
};
void SetUpSalvage(CLI::App& command, SalvageArguments& o, int defaultPivot);
void RunSalvage(Tool& tool, const SalvageArguments& o);

} // namespace notes_tool
