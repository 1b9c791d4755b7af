// quillidar-notes on Linux and other POSIX systems: the widget's file is not here, so FILE is given.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>

#include "files/file_store.h"
#include "files/posix_file_system.h"
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

// Something -o names that is no plain file (/dev/stdout, /proc/self/fd/1, a named pipe): written as
// it stands, since nothing can be moved over it.
class DeviceFile : public OutputFile {
  public:
    explicit DeviceFile(std::FILE* file) : m_file(file) {}
    ~DeviceFile() override { Close(); }
    FileError Write(std::string_view bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size() ? FileError::kNone
                                                                                  : FileError::kOther;
    }
    FileError Flush() override { return std::fflush(m_file) == 0 ? FileError::kNone : FileError::kOther; }
    FileError Close() override {
        if (!m_file) {
            return FileError::kNone;
        }
        const int failed = std::fclose(m_file);
        m_file = nullptr;
        return failed == 0 ? FileError::kNone : FileError::kOther;
    }

  private:
    std::FILE* m_file;
};

std::unique_ptr<OutputFile> OpenDevice(const FsPath& path) {
    const std::string bytes = PosixPathBytes(path);
    struct stat info {};
    if (stat(bytes.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
        return nullptr;
    }
    std::FILE* file = std::fopen(bytes.c_str(), "wb");
    return file ? std::make_unique<DeviceFile>(file) : nullptr;
}

// $EDITOR (else vi) on a file of the text in the temporary folder.
bool EditText(std::string& utf8, std::string& why) {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/quillidar-note-XXXXXX.txt";
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        why = "no file for the note could be made in the temporary folder";
        return false;
    }
    const bool written = write(fd, utf8.data(), utf8.size()) == static_cast<ssize_t>(utf8.size());
    close(fd);
    const char* editor = std::getenv("VISUAL");
    if (!editor || !*editor) {
        editor = std::getenv("EDITOR");
    }
    const std::string command = std::string(editor && *editor ? editor : "vi") + " '" + name + "'";
    const int status = written ? std::system(command.c_str()) : -1;
    std::ifstream in(name, std::ios::binary);
    std::string edited{std::istreambuf_iterator<char>(in), {}};
    std::remove(name.c_str());
    if (status != 0 || (!in.good() && !in.eof())) {
        why = std::string(editor && *editor ? editor : "vi") + " ended with status " + std::to_string(status);
        return false;
    }
    utf8 = std::move(edited);
    return true;
}

notes_tool::Date LocalDateOf(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

} // namespace

int main(int argc, char** argv) {
    PosixFileSystem fs;
    notes_tool::ToolHost host;
    host.fs = &fs;
    host.pathOf = [](std::string_view text) { return PosixPathOf(text); };
    const std::tm now = LocalNow();
    host.today = {now.tm_year + 1900, now.tm_mon + 1, now.tm_mday};
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
    host.writeOut = [](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), stdout); };
    host.standardInput = &std::cin;
    host.openInput = [](const FsPath& path) -> std::unique_ptr<std::istream> {
        auto in = std::make_unique<std::ifstream>(PosixPathBytes(path), std::ios::binary);
        if (!in->is_open()) {
            return nullptr;
        }
        return in;
    };
    host.openDevice = OpenDevice;
    host.editText = EditText;
    host.localDateOf = LocalDateOf;

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const notes_tool::ToolRun run = notes_tool::RunNotesTool(args, host);
    WriteAll(stdout, run.out);
    WriteAll(stderr, run.err);
    if (std::ferror(stdout)) {
        return notes_tool::kExitFailed;
    }
    return run.status;
}
