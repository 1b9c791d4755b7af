// quillidar-notes' usage and the one line a refused command line gets, byte for byte as scripts and
// people see them (tests/data/tool/usage.txt), and the rules that tie the command table together.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "fake_file_system.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/tool_commands.h"
#include "notes_tool_helpers.h"

namespace {

using namespace notes_tool;

struct UsageCase {
    std::string args;
    int status = 0;
    std::string out, err;
};

// "### ARGS", "status N", "--- out", the output, "--- err", the errors, "--- end".
std::vector<UsageCase> UsageCases() {
    std::istringstream in(ReadSample("tool/usage.txt"));
    std::vector<UsageCase> cases;
    std::string line;
    std::string* into = nullptr;
    while (std::getline(in, line)) {
        if (line.starts_with("### ")) {
            cases.push_back({line.substr(4), 0, {}, {}});
        } else if (line.starts_with("status ") && !cases.empty() && into == nullptr) {
            cases.back().status = std::stoi(line.substr(7));
        } else if (line == "--- out" && !cases.empty()) {
            into = &cases.back().out;
        } else if (line == "--- err" && !cases.empty()) {
            into = &cases.back().err;
        } else if (line == "--- end") {
            into = nullptr;
        } else if (into != nullptr) {
            *into += line + "\n";
        }
    }
    return cases;
}

std::vector<std::string> Words(const std::string& args) {
    std::vector<std::string> words;
    std::istringstream in(args);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

ToolRun RunTool(const std::vector<std::string>& args, FakeFileSystem fs = {}, Date today = {2026, 12, 8}) {
    ToolHost host;
    host.fs = &fs;
    host.pathOf = [](std::string_view name) { return FsPath(name.begin(), name.end()); };
    host.today = today;
    host.fileStamp = [] { return std::string("20261208-100000"); };
    host.sameFile = [](const FsPath& a, const FsPath& b) { return a == b; };
    return RunNotesTool(args, host);
}

TEST(NotesToolUsage, EveryUsageAndRefusalIsAsScriptsKnowIt) {
    const std::vector<UsageCase> cases = UsageCases();
    ASSERT_GT(cases.size(), 60u);
    for (const UsageCase& c : cases) {
        const ToolRun run = RunTool(Words(c.args));
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
        EXPECT_EQ(run.err, c.err) << c.args;
    }
}

// The commands the usage lists, read from it, in its order.
std::vector<std::string> ListedCommands() {
    std::istringstream in(RunTool({}).out);
    std::vector<std::string> names;
    bool listing = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "Subcommands:") {
            listing = true;
        } else if (listing && line.starts_with("  ")) {
            names.push_back(Words(line).front());
        } else if (listing) {
            break;
        }
    }
    return names;
}

TEST(NotesToolUsage, EachCommandHasOneHelpWhicheverWayItIsAskedFor) {
    const std::vector<std::string> names = ListedCommands();
    ASSERT_EQ(names,
              (std::vector<std::string>{"list", "show", "cal", "search", "add", "edit", "export", "import",
                                        "merge", "stats", "check", "salvage", "sync", "help"}));
    for (const std::string& name : names) {
        const ToolRun asked = RunTool({"help", name});
        const ToolRun flag = RunTool({name, "--help"});
        EXPECT_EQ(asked.status, 0) << name;
        EXPECT_EQ(flag.status, 0) << name;
        EXPECT_EQ(asked.out, flag.out) << name;
        // A usage line one can type: headed by the program's name.
        EXPECT_NE(asked.out.find("Usage: quillidar-notes " + name + " [OPTIONS]"), std::string::npos)
            << asked.out;
    }
    // help alone is the usage, not the page of the help command.
    EXPECT_EQ(RunTool({}).out, RunTool({"help"}).out);
    EXPECT_EQ(RunTool({}).out, RunTool({"--help"}).out);
}

// A name one edit from a command is never left without a suggestion, and the suggestion is a
// command; a real command is never called unknown.
TEST(NotesToolUsage, AMistypedCommandIsNamedWithTheNearestOne) {
    const std::vector<std::string> names = ListedCommands();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        for (std::size_t i = 0; i < name.size(); ++i) {
            std::string typo = name;
            typo.erase(i, 1);
            if (std::find(names.begin(), names.end(), typo) != names.end() || typo.empty()) {
                continue;
            }
            const ToolRun run = RunTool({"help", typo});
            EXPECT_EQ(run.status, 2) << typo;
            const std::size_t at = run.err.find("did you mean ");
            ASSERT_NE(at, std::string::npos) << typo << ": " << run.err;
            const std::string meant = run.err.substr(at + 13, run.err.find('?', at) - at - 13);
            EXPECT_NE(std::find(names.begin(), names.end(), meant), names.end()) << typo << " -> " << meant;
        }
        EXPECT_EQ(RunTool({"help", name}).status, 0) << name;
    }
}

// Every command that takes the diary as FILE or --into: left out where there is no widget file it
// is asked for, and given it is the file the command reads.
TEST(NotesToolUsage, EachCommandTakesTheDiaryItIsGiven) {
    struct FileCase {
        std::vector<std::string> without;
        std::vector<std::string> given; // the same naming x.nts, which does not exist
        int status;
        std::string err;
        std::string out = "";
    };
    const std::string needed =
        "quillidar-notes: FILE is needed: there is no widget notes file to take here\n";
    const std::string missing = "quillidar-notes: x.nts: no such file\n";
    const std::string noFolder = "quillidar-notes: x.nts: there is no safety folder for this diary here, "
                                 "where the sync keeps its account\n";
    const std::string noServer =
        "quillidar-notes: this build cannot reach a server or keep a password: sync runs "
        "in the Windows program\n";
    const std::vector<FileCase> cases = {
        {{"list"}, {"list", "x.nts"}, 1, missing},
        {{"show", "today"}, {"show", "today", "x.nts"}, 1, missing},
        {{"show", "today", "--lunar"}, {"show", "today", "x.nts", "--lunar"}, 1, missing},
        {{"search", "a"}, {"search", "a", "x.nts"}, 1, missing},
        {{"stats"}, {"stats", "x.nts"}, 1, missing},
        {{"check"}, {"check", "x.nts"}, 1, missing},
        {{"export"}, {"export", "x.nts"}, 1, missing},
        {{"import", "in.csv"},
         {"import", "in.csv", "--into", "x.nts"},
         1,
         "quillidar-notes: in.csv: no such file\n"},
        {{"add", "today", "hi"},
         {"add", "today", "hi", "--into", "x.nts"},
         0,
         "",
         "x.nts: a note added on 2026-12-08\n"},
        {{"edit", "today"},
         {"edit", "today", "--into", "x.nts"},
         1,
         "quillidar-notes: there is no editor to run here\n"},
        {{"sync", "status"}, {"sync", "status", "x.nts"}, 1, noFolder},
        {{"sync", "off"}, {"sync", "off", "x.nts"}, 1, noFolder},
        {{"sync", "now"}, {"sync", "now", "x.nts"}, 1, noServer},
        {{"sync", "setup", "https://example.org/", "--user", "u"},
         {"sync", "setup", "https://example.org/", "--user", "u", "x.nts"},
         1,
         noServer},
    };
    for (const FileCase& c : cases) {
        const ToolRun without = RunTool(c.without);
        EXPECT_EQ(without.status, kExitUsage) << c.without.front();
        EXPECT_EQ(without.err, needed) << c.without.front();
        const ToolRun given = RunTool(c.given);
        EXPECT_EQ(given.status, c.status) << c.given.front();
        EXPECT_EQ(given.err, c.err) << c.given.front();
        EXPECT_EQ(given.out, c.out) << c.given.front();
    }
    // cal alone needs no diary: it prints the month without marks.
    EXPECT_EQ(RunTool({"cal"}).status, 0);
    EXPECT_EQ(RunTool({"cal", "x.nts"}).err, missing);
}

// The year a key names comes from --pivot when given and from today's year otherwise, the same
// in every command that shows a day: model and tool must agree for each today and --pivot.
TEST(NotesToolUsage, EveryCommandTakesTheKeysCenturyFromPivotOrToday) {
    const std::string diary = Nts({{"010130", "x"}}); // 1 January of a year ending in 30
    struct Shown {
        std::vector<std::string> args;
        std::string before, after; // around the year in what the command prints
    };
    const std::vector<Shown> commands = {
        {{"list", "d.nts"}, "", "-01-01\t010130\t"},
        {{"search", "x", "d.nts"}, "", "-01-01\t010130\tx"},
        {{"stats", "d.nts"}, "\n", "\t1\t1\t1\n"},
        {{"export", "d.nts", "--format", "json"}, "\"date\": \"", "-01-01\""},
        {{"add", "010130", "y", "--into", "d.nts"}, "a part added to the note of ", "-01-01\n"},
    };
    for (const int todayYear : {1950, 2026, 2040, 2129}) {
        for (const int pivot : {0, 1930, 1950, 2029, 2030, 2100}) {
            const int window = pivot == 0 ? DefaultPivot(todayYear) : pivot;
            const int year =
                window - (window - 30 + 1000) % 100; // the year ending in 30 of the window's hundred
            for (const Shown& shown : commands) {
                FakeFileSystem fs;
                fs.files[L"d.nts"] = diary;
                std::vector<std::string> args = shown.args;
                if (pivot != 0) {
                    args.insert(args.end(), {"--pivot", std::to_string(pivot)});
                }
                const ToolRun run = RunTool(args, fs, {todayYear, 6, 1});
                EXPECT_EQ(run.status, 0)
                    << args.front() << " " << todayYear << " " << pivot << ": " << run.err;
                EXPECT_NE(run.out.find(shown.before + std::to_string(year) + shown.after), std::string::npos)
                    << args.front() << " today " << todayYear << " --pivot " << pivot << " -> " << year
                    << "\n"
                    << run.out;
            }
        }
    }
}

} // namespace
