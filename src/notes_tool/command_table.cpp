// The options most commands share, and a table's commands bound to one command line.
#include "notes_tool/command_table.h"

#include <CLI/CLI.hpp>

namespace notes_tool {

void BoundCommands::Bind(CLI::App& parent, const std::vector<Command>& table, int defaultPivot) {
    for (const Command& row : table) {
        CLI::App* command = parent.add_subcommand(row.name, row.help);
        m_bound.push_back({row.name, command, row.setUp(*command, defaultPivot)});
    }
}

bool BoundCommands::RunParsed(Tool& tool) const {
    for (const Bound& bound : m_bound) {
        if (bound.command->parsed()) {
            bound.run(tool);
            return true;
        }
    }
    return false;
}

const CommandRun* BoundCommands::Find(const std::string& name) const {
    for (const Bound& bound : m_bound) {
        if (bound.name == name) {
            return &bound.run;
        }
    }
    return nullptr;
}

bool GivenOption(const CLI::Option* option) {
    return option != nullptr && option->count() > 0;
}

bool FileArgument::Given() const {
    return GivenOption(option);
}

void AddFileOption(CLI::App& command, FileArgument& file, const char* name) {
    file.option = command.add_option(
        name, file.name, "the notes file (default: the widget's own, %TEMP%\\nts.ini, on Windows)");
}

void AddPivotOption(CLI::App& command, int& pivot, int defaultPivot) {
    pivot = defaultPivot;
    command
        .add_option("--pivot", pivot,
                    "last year of the hundred years a key's date is taken from (default: next year)")
        ->check(CLI::Range(kFirstPivot, kLastPivot));
}

void AddConflictOption(CLI::App& command, std::string& onConflict, const char* help) {
    command.add_option("--on-conflict", onConflict, help)
        ->check(CLI::IsMember({"keep", "replace", "append"}));
}

} // namespace notes_tool
