// quillidar-notes.exe: a console program; FILE defaults to the widget's own %TEMP%\nts.ini.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "safety/instance_name.h"
#include "diary/notes_file.h"
#include "files/win_file_system.h"
#include "ui/handle.h"
#include "safety/diary_keeper.h"
#include "notes_tool/text_codec.h"
#include "notes_tool/tool_commands.h"
#include "sync/credentials_win.h"
#include "sync/winhttp_transport.h"

namespace {

// Standard output and error: UTF-16 to a console, which shows it whatever its code page; the UTF-8
// bytes themselves to a file or a pipe.
void WriteAll(DWORD which, const std::string& utf8) {
    if (utf8.empty()) {
        return;
    }
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::u16string text = notes_tool::Utf16FromUtf8(utf8).value_or(u"?");
        std::size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            if (!WriteConsoleW(handle, text.data() + done, chunk, &written, nullptr) || written == 0) {
                return;
            }
            done += written;
        }
        return;
    }
    std::size_t done = 0;
    while (done < utf8.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1u << 20));
        if (!WriteFile(handle, utf8.data() + done, chunk, &written, nullptr) || written == 0) {
            return;
        }
        done += written;
    }
}

std::wstring WideOfUtf8(std::string_view text) {
    const std::u16string wide = notes_tool::Utf16FromUtf8(text).value_or(u"");
    return std::wstring(wide.begin(), wide.end());
}

// One file's identity, which every spelling of its path shares.
bool FileId(const FsPath& path, BY_HANDLE_FILE_INFORMATION& info) {
    const ui::FileHandle file(CreateFileW(LongPath(path).c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), &info) != 0;
}

bool SameFile(const FsPath& a, const FsPath& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return FileId(a, first) && FileId(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// The widget names its one-copy mutex after the user's SID and its temporary folder spelled as
// below (app/single_instance.cpp); the tool asks for the same name to learn whether it runs.
std::wstring UserSid() {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return {};
    }
    DWORD size = 0;
    const ui::KernelHandle owned(opened);
    const HANDLE token = opened;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    LPWSTR text = nullptr;
    std::wstring sid;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    return sid;
}

std::wstring LongUpper(std::wstring path) {
    const DWORD longSize = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (longSize > 0) {
        std::wstring longForm(longSize, L'\0');
        const DWORD got = GetLongPathNameW(path.c_str(), longForm.data(), longSize);
        if (got > 0 && got < longSize) {
            longForm.resize(got);
            path = std::move(longForm);
        }
    }
    const int size = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(),
                                   static_cast<int>(path.size()), nullptr, 0, nullptr, nullptr, 0);
    if (size > 0) {
        std::wstring upper(static_cast<std::size_t>(size), L'\0');
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                          upper.data(), size, nullptr, nullptr, 0) > 0) {
            path = std::move(upper);
        }
    }
    return path;
}

std::wstring FullPath(const FsPath& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(got < size ? got : 0);
    return full;
}

// A widget holds the "nts.ini" of its temporary folder in memory, and its next save replaces that
// file. Which folder is decided by the file system's identity of it, so every spelling of the path
// (a "\\?\" prefix, another drive letter, an 8.3 name, letter case, "..", a junction) is refused
// alike, whichever temporary folder the widget was started with.
bool WidgetRunsOnFolder(const std::wstring& identity) {
    if (identity.empty()) {
        return false;
    }
    const quill::InstanceNames names = quill::MakeInstanceNames(UserSid(), identity);
    const ui::KernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, names.mutex.c_str()));
    return static_cast<bool>(mutex);
}

// A file of a diary's safety folder: the widget of that diary replaces its copies and manifest at
// every save, and takes what it finds there for its own. The folder's manifest names the diary;
// without one, the folder's name is checked against this user's own diary.
bool WidgetRunningOnSafetyFolder(const std::wstring& full) {
    const std::size_t slash = full.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return false;
    }
    const FsPath folder = full.substr(0, slash + 1);
    WinFileSystem fs;
    std::string bytes;
    if (fs.ReadAll(folder + kManifestName, bytes) == FileError::kNone) {
        if (const std::optional<Manifest> manifest = DecodeManifest(bytes);
            manifest && WidgetRunsOnFolder(manifest->folder)) {
            return true;
        }
    }
    const FsPath temp = GetTempFilePath(kNotesFileName);
    const std::size_t tempSlash = temp.find_last_of(L"\\/");
    if (tempSlash == FsPath::npos) {
        return false;
    }
    const std::wstring identity = FolderIdentity(temp.substr(0, tempSlash + 1));
    const std::size_t parent = folder.find_last_of(L"\\/", folder.size() - 2);
    const std::wstring name = LongUpper(folder.substr(parent == std::wstring::npos ? 0 : parent + 1));
    for (const std::wstring& own : {identity, FolderPathIdentity(temp.substr(0, tempSlash + 1))}) {
        const std::wstring mine = LongUpper(DiaryFolderUnder(L"", DiaryTag(own)));
        if (name.compare(0, mine.size() - 1, mine, 0, mine.size() - 1) == 0 && WidgetRunsOnFolder(identity)) {
            return true;
        }
    }
    return false;
}

bool WidgetRunningOn(const FsPath& path) {
    const std::wstring full = FullPath(path);
    const std::wstring name = LongUpper(full);
    const std::size_t slash = full.find_last_of(L"\\/");
    const std::size_t nameAt = name.find_last_of(L"\\/");
    if (slash == std::wstring::npos || nameAt == std::wstring::npos) {
        return false;
    }
    if (WidgetRunningOnSafetyFolder(full)) {
        return true;
    }
    if (CompareStringOrdinal(name.c_str() + nameAt + 1, -1, kNotesFileName, -1, TRUE) != CSTR_EQUAL) {
        return false;
    }
    return WidgetRunsOnFolder(FolderIdentity(full.substr(0, slash + 1)));
}

// Standard output as an export streams to it: UTF-8 pieces may end inside a character, which a
// console (written as UTF-16) must not see cut, so the unfinished tail waits for the next piece.
void StreamOut(std::string_view piece) {
    static std::string carry;
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        WriteAll(STD_OUTPUT_HANDLE, std::string(piece));
        return;
    }
    carry.append(piece);
    std::size_t end = carry.size();
    std::size_t back = 0;
    while (back < 3 && back < end && (static_cast<unsigned char>(carry[end - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back < end && static_cast<unsigned char>(carry[end - 1 - back]) >= 0xC0) {
        end -= back + 1;
    }
    WriteAll(STD_OUTPUT_HANDLE, carry.substr(0, end));
    carry.erase(0, end);
}

// The note in Notepad (or %EDITOR%), through a UTF-8 file in the temporary folder.
bool EditText(std::string& utf8, std::string& why) {
    wchar_t name[MAX_PATH + 1] = {};
    const std::wstring folder = GetTempFilePath(L"");
    if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"qnt", 0, name)) {
        why = "no file for the note could be made in the temporary folder";
        return false;
    }
    const std::wstring path = std::wstring(name) + L".txt";
    DeleteFileW(name);
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out << utf8;
        if (!out) {
            why = "the note could not be written to a file for the editor";
            return false;
        }
    }
    const wchar_t* editor = _wgetenv(L"EDITOR");
    std::wstring command = std::wstring(editor && *editor ? editor : L"notepad.exe") + L" \"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        DeleteFileW(path.c_str());
        why = "the editor " + notes_tool::Utf8FromUtf16(std::u16string(command.begin(), command.end())) +
              " did not start";
        return false;
    }
    const ui::KernelHandle thread(process.hThread);
    const ui::KernelHandle running(process.hProcess);
    WaitForSingleObject(running.get(), INFINITE);
    std::ifstream in(path.c_str(), std::ios::binary);
    utf8.assign(std::istreambuf_iterator<char>(in), {});
    DeleteFileW(path.c_str());
    // Notepad may save with a byte order mark.
    if (utf8.rfind("\xEF\xBB\xBF", 0) == 0) {
        utf8.erase(0, 3);
    }
    return true;
}

notes_tool::Date LocalDateOf(std::int64_t seconds) {
    // Windows file time of the instant, then local time by the system's own rules.
    const ULONGLONG ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME u{}, local{};
    if (!FileTimeToSystemTime(&utc, &u) || !SystemTimeToTzSpecificLocalTime(nullptr, &u, &local)) {
        return notes_tool::DateOfDayNumber(seconds / 86400);
    }
    return {local.wYear, local.wMonth, local.wDay};
}

// %LOCALAPPDATA% with a separator, where the widget keeps each diary's safety folder.
std::wstring LocalAppData() {
    const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), size);
    value.resize(got < size ? got : 0);
    if (!value.empty() && value.back() != L'\\') {
        value.push_back(L'\\');
    }
    return value;
}

// The console's mode while a password is typed with its echo off: Ctrl+C ends the program, and the
// console it leaves behind must echo again.
DWORD g_consoleMode = 0;
BOOL WINAPI EchoBackOnBreak(DWORD) {
    SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_consoleMode);
    return FALSE;
}

// The sync's password: the first line of standard input when that is a file or a pipe (a script),
// else typed at the console with its echo off.
std::optional<std::string> ReadPassword(const std::string& prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) {
        std::string line;
        if (!std::getline(std::cin, line) && line.empty()) {
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    WriteAll(STD_ERROR_HANDLE, prompt);
    g_consoleMode = mode;
    SetConsoleCtrlHandler(EchoBackOnBreak, TRUE);
    SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::u16string typed;
    bool ended = false;
    while (!ended && typed.size() < 4096) {
        wchar_t buffer[256];
        DWORD read = 0;
        if (!ReadConsoleW(input, buffer, 256, &read, nullptr) || read == 0) {
            break;
        }
        for (DWORD i = 0; i < read && !ended; ++i) {
            ended = buffer[i] == L'\n' || buffer[i] == L'\r';
            if (!ended) {
                typed.push_back(static_cast<char16_t>(buffer[i]));
            }
        }
        SecureZeroMemory(buffer, sizeof buffer);
    }
    SetConsoleMode(input, mode);
    SetConsoleCtrlHandler(EchoBackOnBreak, FALSE);
    WriteAll(STD_ERROR_HANDLE, "\n");
    std::string password = notes_tool::Utf8FromUtf16(typed);
    SecureZeroMemory(typed.data(), typed.size() * sizeof(char16_t));
    if (!ended) {
        return std::nullopt;
    }
    return password;
}

std::int64_t UtcNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    WinFileSystem fs;
    notes_tool::ToolHost host;
    host.fs = &fs;
    host.pathOf = [](std::string_view text) { return FsPath(WideOfUtf8(text)); };
    host.defaultNotes = GetTempFilePath(kNotesFileName);
    if (!host.defaultNotes.empty()) {
        host.defaultNotesName =
            notes_tool::Utf8FromUtf16(std::u16string(host.defaultNotes.begin(), host.defaultNotes.end()));
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    host.today = {now.wYear, now.wMonth, now.wDay};
    if (const wchar_t* epoch = _wgetenv(L"SOURCE_DATE_EPOCH")) {
        wchar_t* end = nullptr;
        const long long seconds = std::wcstoll(epoch, &end, 10);
        if (end != epoch && *end == L'\0') {
            host.fixedStamp = seconds;
        }
    }
    host.fileStamp = LocalFileStamp;
    host.sameFile = SameFile;
    host.widgetRunningOn = WidgetRunningOn;
    host.keptFolders = [](const FsPath& file) {
        std::vector<FsPath> folders;
        const std::wstring base = LocalAppData();
        const std::wstring full = FullPath(file);
        const std::size_t slash = full.find_last_of(L"\\/");
        if (base.empty() || slash == std::wstring::npos) {
            return folders;
        }
        const std::uint64_t tag = DiaryTag(FolderIdentity(full.substr(0, slash + 1)));
        for (const wchar_t* root : {L"Quillidar\\", L"Quillidar.safety\\"}) {
            folders.push_back(DiaryFolderUnder(base + root, tag));
        }
        // The journal's last home, used while the profile's folders could not be written.
        if (const FsPath temp = GetTempFilePath(L""); !temp.empty()) {
            folders.push_back(DiaryFolderUnder(temp + L"Quillidar.safety\\", tag));
        }
        return folders;
    };
    host.ensureFolderOf = [](const FsPath& file) { EnsureFolderOf(file); };
    host.writeOut = StreamOut;
    _setmode(_fileno(stdin), _O_BINARY);
    host.standardInput = &std::cin;
    host.openInput = [](const FsPath& path) -> std::unique_ptr<std::istream> {
        auto in = std::make_unique<std::ifstream>(path.c_str(), std::ios::binary);
        if (!in->is_open()) {
            return nullptr;
        }
        return in;
    };
    host.editText = EditText;
    host.localDateOf = LocalDateOf;
    WinCredentialStore secrets;
    host.secrets = &secrets;
    host.openTransport = [](const SyncAccount& account, const std::string& password,
                            SyncStatus& why) -> std::unique_ptr<HttpTransport> {
        TransportOptions options;
        options.url = account.serverUrl;
        options.user = account.user;
        options.password = password;
        return WinHttpTransport::Open(options, why);
    };
    host.readPassword = ReadPassword;
    host.now = UtcNow;

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(notes_tool::Utf8FromUtf16(std::u16string(arg.begin(), arg.end())));
    }
    const notes_tool::ToolRun run = notes_tool::RunNotesTool(args, host);
    WriteAll(STD_OUTPUT_HANDLE, run.out);
    WriteAll(STD_ERROR_HANDLE, run.err);
    return run.status;
}
