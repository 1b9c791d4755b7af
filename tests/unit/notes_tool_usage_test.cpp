// quillidar-notes' usage and the one line a refused command line gets, byte for byte as scripts and
// people see them (tests/data/tool/usage.txt), and the rules that tie the command table together.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "fake_file_system.h"
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

ToolRun RunTool(const std::vector<std::string>& args) {
    FakeFileSystem fs;
    ToolHost host;
    host.fs = &fs;
    host.pathOf = [](std::string_view name) { return FsPath(name.begin(), name.end()); };
    host.today = {2026, 12, 8};
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

} // namespace
