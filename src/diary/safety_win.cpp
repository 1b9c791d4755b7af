// The safety folder on Win32: where it is, what is in it, and whether another run still goes.
#include "diary/safety_win.h"

#include <windows.h>
#include <shlobj.h>

#include "diary/win_file_system.h"

namespace {

// FOLDERID_LocalAppData, spelled out so that no GUID library is linked in for one value.
constexpr GUID kLocalAppDataFolder = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

FsPath SafetyFolderPath() {
    PWSTR base = nullptr;
    FsPath folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(kLocalAppDataFolder, 0, nullptr, &base)) && base && base[0]) {
        folder = base;
        if (folder.back() != L'\\' && folder.back() != L'/')
            folder.push_back(L'\\');
        folder += kSafetyFolderName;
        folder.push_back(L'\\');
    }
    ::CoTaskMemFree(base);
    return folder;
}

SafetyFolderView ReadSafetyFolder() {
    SafetyFolderView view;
    view.folder = SafetyFolderPath();
    if (view.folder.empty())
        return view;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((view.folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return view;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            view.names.emplace_back(found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return view;
}

bool EnsureSafetyFolder(const FsPath& folder) {
    if (folder.empty())
        return false;
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

RunId CurrentRun() {
    RunId run;
    run.pid = ::GetCurrentProcessId();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        run.started = Ticks(created);
    return run;
}

bool RunIsRunning(const RunId& run) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.pid);
    if (!process) {
        // Denied means some process holds the id and we may not look at it: leave its journal be.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (running && ::GetProcessTimes(process, &created, &exited, &kernel, &user) &&
        Ticks(created) != run.started)
        running = false;
    ::CloseHandle(process);
    return running;
}

std::vector<FsPath> LeftoversOf(const FsPath& file) {
    std::vector<FsPath> leftovers;
    const std::size_t slash = file.find_last_of(L"\\/");
    const std::wstring_view name = std::wstring_view(file).substr(slash == FsPath::npos ? 0 : slash + 1);
    for (const FsPath& found : FilesBeside(file, L".new-*")) {
        const std::size_t at = found.find_last_of(L"\\/");
        if (IsLeftoverName(std::wstring_view(found).substr(at == FsPath::npos ? 0 : at + 1), name))
            leftovers.push_back(found);
    }
    return leftovers;
}

int LocalDayNumber() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}
