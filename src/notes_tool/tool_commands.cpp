// The command line of quillidar-notes: the table of its commands, the usage, and the one line a
// mistaken command line gets.
#include "notes_tool/tool_commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <new>
#include <sstream>

#include "version.h"
#include "notes_tool/calendar_commands.h"
#include "notes_tool/command_table.h"
#include "notes_tool/editing_commands.h"
#include "notes_tool/reading_commands.h"
#include "notes_tool/repair_commands.h"
#include "notes_tool/sync_commands.h"
#include "notes_tool/transfer_commands.h"

namespace notes_tool {

namespace {

struct HelpArguments {
    std::string command;
    const CLI::App* root = nullptr;
};
void SetUpHelp(CLI::App& command, HelpArguments& o, int);
void RunHelp(Tool& tool, const HelpArguments& o);

// The commands in the order the usage lists them.
const std::vector<Command>& Commands() {
    static const std::vector<Command> kTable = {
        Row<ListArguments>("list", "one line per note in file order: date, key, byte length, first line",
                           SetUpList, RunList),
        Row<ShowArguments>("show", "the note of a day, as the widget shows it", SetUpShow, RunShow),
        Row<CalArguments>(
            "cal",
            "a month as cal prints it: each day with its lunar day, term or festival, its official "
            "rest or make-up working day and * for a note",
            SetUpCal, RunCal),
        Row<SearchArguments>("search", "the lines of notes that contain TEXT", SetUpSearch, RunSearch),
        Row<AddArguments>("add", "appends TEXT (or standard input) to the note of a day", SetUpAdd, RunAdd),
        Row<EditArguments>("edit", "opens the note of a day in %EDITOR% / $EDITOR", SetUpEdit, RunEdit),
        Row<ExportArguments>("export", "the diary as json, csv, md, txt, ics or html (UTF-8)", SetUpExport,
                             RunExport),
        Row<ImportArguments>("import", "files the notes of a json, csv or ics file into a diary", SetUpImport,
                             RunImport),
        Row<MergeArguments>("merge", "the union of two diaries", SetUpMerge, RunMerge),
        Row<StatsArguments>("stats", "notes, words and characters per year and month, the longest streak",
                            SetUpStats, RunStats),
        Row<CheckArguments>("check", "reads a notes file without trusting it and says what is in it",
                            SetUpCheck, RunCheck),
        Row<SalvageArguments>("salvage", "writes every entry that can be recovered to a new file",
                              SetUpSalvage, RunSalvage),
        Row<SyncArguments>("sync", "two-way sync with a CalDAV server: setup, now, status, off", SetUpSync,
                           RunSync),
        Row<HelpArguments>("help", "the usage, or a command's", SetUpHelp, RunHelp),
    };
    return kTable;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// "there is no command X", with the command a mistyped one was most likely meant to be: the
// nearest within two edits, or the one it starts.
std::string NoCommand(const std::string& typed) {
    std::string best;
    std::size_t bestDistance = 3;
    for (const Command& command : Commands()) {
        const std::string_view name = command.name;
        const std::size_t d = name.starts_with(typed) && typed.size() >= 2 ? 1 : EditDistance(typed, name);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    return "there is no command " + typed + (best.empty() ? "" : "; did you mean " + best + "?");
}

void SetUpHelp(CLI::App& command, HelpArguments& o, int) {
    command.add_option("COMMAND", o.command, "the command");
    o.root = command.get_parent();
}

void RunHelp(Tool& tool, const HelpArguments& o) {
    if (o.command.empty()) {
        // Not o.root->help(): that hands over to the command parsed, which is help itself.
        tool.Out(o.root->get_formatter()->make_help(o.root, kToolName, CLI::AppFormatMode::Normal));
        return;
    }
    const auto& commands = o.root->get_subcommands({});
    const auto it = std::find_if(commands.begin(), commands.end(),
                                 [&](const CLI::App* c) { return c->get_name() == o.command; });
    if (it == commands.end()) {
        Fail("", NoCommand(o.command), kExitUsage);
    }
    // Headed by the program's name, as COMMAND --help heads it: the usage line is one to type.
    tool.Out((*it)->help(kToolName));
}

// Parses the command line; false when it was all said (--help, --version), in `run.out`.
bool Parse(CLI::App& app, const std::vector<std::string>& args, ToolRun& run) {
    std::vector<const char*> argv{kToolName};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
        return true;
    } catch (const CLI::Success& e) {
        std::ostringstream out, err;
        app.exit(e, out, err);
        run.out = out.str();
        return false;
    } catch (const CLI::ParseError& e) {
        const auto& commands = app.get_subcommands({});
        const bool unknown = !args.empty() && !args[0].empty() && args[0][0] != '-' &&
                             std::none_of(commands.begin(), commands.end(), [&](const CLI::App* command) {
                                 return command->get_name() == args[0];
                             });
        const std::string what = unknown ? NoCommand(args[0]) : std::string(e.what());
        throw ToolError{kExitUsage, what + " (see " + kToolName + " help)"};
    }
}

} // namespace

ToolRun RunNotesTool(const std::vector<std::string>& args, ToolHost& host) {
    ToolRun run;
    Tool tool(host, run);
    CLI::App app{"Reads, searches, exports, imports, merges and repairs a Quillidar diary (nts.ini).",
                 kToolName};
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string(kToolName) + " " + QUILL_VERSION);
    app.footer(
        "DATE: YYYY-MM-DD, MM-DD (this year), today, yesterday, tomorrow, -N (N days ago) or a six-digit "
        "key. FILE or IN \"-\" is standard input, -o - standard output.");
    BoundCommands commands;
    commands.Bind(app, Commands(), DefaultPivot(host.today.year));
    try {
        if (Parse(app, args, run) && !commands.RunParsed(tool)) {
            (*commands.Find("help"))(tool); // no command: the usage
        }
    } catch (const ToolError& e) {
        run.status = e.status;
        run.out.clear();
        run.err += std::string(kToolName) + ": " + e.message + "\n";
    } catch (const std::bad_alloc&) {
        run.status = kExitFailed;
        run.out.clear();
        run.err += std::string(kToolName) + ": out of memory\n";
    }
    return run;
}

} // namespace notes_tool
