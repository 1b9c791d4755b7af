// quillidar-notes on Linux and other POSIX systems: the widget's file is not here, so FILE is given.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "diary/file_store.h"
#include "notes_tool/posix_file_system.h"
#include "notes_tool/tool_commands.h"

namespace {

void WriteAll(std::FILE* stream, const std::string& bytes) {
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
    }
    std::fflush(stream);
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace

int main(int argc, char** argv) {
    PosixFileSystem fs;
    notes_tool::ToolHost host;
    host.fs = &fs;
    host.pathOf = [](std::string_view text) { return PosixPathOf(text); };
    host.currentYear = LocalNow().tm_year + 1900;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        const long long seconds = std::strtoll(epoch, &end, 10);
        if (end != epoch && *end == '\0') {
            host.fixedStamp = seconds;
        }
    }
    host.fileStamp = [] {
        const std::tm t = LocalNow();
        return FileStamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    };
    host.sameFile = PosixSameFile;

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const notes_tool::ToolRun run = notes_tool::RunNotesTool(args, host);
    WriteAll(stdout, run.out);
    WriteAll(stderr, run.err);
    if (std::ferror(stdout)) {
        return notes_tool::kExitFailed;
    }
    return run.status;
}
