// The commands that file notes into a diary: add and edit a day's note, merge two diaries.
#pragma once

#include <string>

#include "notes_tool/command_table.h"

namespace notes_tool {

struct AddArguments {
    std::string day;
    std::string text;
    const CLI::Option* textOption = nullptr; // left out, the text is standard input
    FileArgument file;
    int pivot = 0;
};
void SetUpAdd(CLI::App& command, AddArguments& o, int defaultPivot);
void RunAdd(Tool& tool, const AddArguments& o);

struct EditArguments {
    std::string day;
    FileArgument file;
    int pivot = 0;
};
void SetUpEdit(CLI::App& command, EditArguments& o, int defaultPivot);
void RunEdit(Tool& tool, const EditArguments& o);

struct MergeArguments {
    std::string first, second, out;
    std::string onConflict = "keep";
};
void SetUpMerge(CLI::App& command, MergeArguments& o, int defaultPivot);
void RunMerge(Tool& tool, const MergeArguments& o);

} // namespace notes_tool
