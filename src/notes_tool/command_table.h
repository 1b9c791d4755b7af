// A command of quillidar-notes as one row: its name, what the usage says of it, and a set-up that
// adds its options to the command line, bound to an options struct of its own, and hands back what
// runs it once the line is parsed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "notes_tool/tool_context.h"

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace notes_tool {

using CommandRun = std::function<void(Tool&)>;

struct Command {
    const char* name;
    const char* help;
    // `command` is the command's own part of the command line; the pivot is the default of --pivot.
    std::function<CommandRun(CLI::App& command, int defaultPivot)> setUp;
};

template <class Options>
Command Row(const char* name, const char* help, void (*setUp)(CLI::App&, Options&, int defaultPivot),
            void (*run)(Tool&, const Options&)) {
    return {name, help, [setUp, run](CLI::App& command, int defaultPivot) -> CommandRun {
                auto options = std::make_shared<Options>();
                setUp(command, *options, defaultPivot);
                return [options, run](Tool& tool) { run(tool, *options); };
            }};
}

// The commands of one command line, each added as a subcommand of `parent` in the table's order
// and bound to its options.
class BoundCommands {
  public:
    void Bind(CLI::App& parent, const std::vector<Command>& table, int defaultPivot);
    // Runs the command the line named; false when it named none.
    bool RunParsed(Tool& tool) const;
    // The run of the command named so.
    const CommandRun* Find(const std::string& name) const;

  private:
    struct Bound {
        std::string name;
        CLI::App* command;
        CommandRun run;
    };
    std::vector<Bound> m_bound;
};

// A file argument that may be left out: the widget's own notes file is taken then.
struct FileArgument {
    std::string name;
    const CLI::Option* option = nullptr;
    bool Given() const;
};

// FILE (or --into) with the usual help, and --pivot with its default and its range.
void AddFileOption(CLI::App& command, FileArgument& file, const char* name);
void AddPivotOption(CLI::App& command, int& pivot, int defaultPivot);
// --on-conflict: keep, replace or append.
void AddConflictOption(CLI::App& command, std::string& onConflict, const char* help);
// How many times an option was given, for options whose being left out means something.
bool GivenOption(const CLI::Option* option);

} // namespace notes_tool
