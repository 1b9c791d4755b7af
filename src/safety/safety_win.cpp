// The safety folders on Win32, the diary's identity, and whether another run still goes.
#include "safety/safety_win.h"

#include <windows.h>
#include <shlobj.h>

#include "diary/notes_file.h"
#include "files/win_file_system.h"
#include "ui/handle.h"

namespace {

// FOLDERID_LocalAppData, spelled out so that no GUID library is linked in for one value.
constexpr GUID kLocalAppDataFolder = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FsPath WithSeparator(FsPath folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder.push_back(L'\\');
    return folder;
}

} // namespace

std::vector<FsPath> SafetyRoots() {
    std::vector<FsPath> roots;
    PWSTR base = nullptr;
    // KF_FLAG_CREATE: a profile whose application-data folder is missing gets it made, as Windows
    // itself would at the next sign-in, instead of going without a safety folder.
    if (SUCCEEDED(::SHGetKnownFolderPath(kLocalAppDataFolder, KF_FLAG_CREATE, nullptr, &base)) && base &&
        base[0]) {
        const FsPath folder = WithSeparator(base);
        roots.push_back(folder + kSafetyFolderName + L"\\");
        roots.push_back(folder + kSafetyFolderName + L".safety\\");
    }
    // The last home, also while the window runs: the journal moves here when the profile's folders
    // cannot be written (read-only, removed by a clean-up tool, or no profile at all).
    if (const FsPath notes = GetTempFilePath(kNotesFileName); !notes.empty()) {
        roots.push_back(notes.substr(0, notes.size() - (sizeof kNotesFileName / sizeof(wchar_t) - 1)) +
                        kSafetyFolderName + L".safety\\");
    }
    ::CoTaskMemFree(base);
    return roots;
}

DiaryPlace TempDiaryPlace() {
    DiaryPlace place;
    place.tempNotes = GetTempFilePath(kNotesFileName);
    place.safetyRoots = SafetyRoots();
    if (!place.tempNotes.empty()) {
        // Made now if it was cleaned away: its identity is what it is on the disk.
        EnsureFolderOf(place.tempNotes);
        const std::size_t slash = place.tempNotes.find_last_of(L"\\/");
        place.identity = FolderIdentity(place.tempNotes.substr(0, slash + 1));
        place.formerIdentity = FolderPathIdentity(place.tempNotes.substr(0, slash + 1));
    }
    return place;
}

RunStamp CurrentRun() {
    RunStamp run;
    run.pid = ::GetCurrentProcessId();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        run.started = Ticks(created);
    return run;
}

bool RunIsRunning(const RunStamp& run) {
    if (run.pid == ::GetCurrentProcessId())
        return run.started == CurrentRun().started;
    const HANDLE opened = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.pid);
    if (!opened) {
        // Denied means some process holds the id and we may not look at it: leave its journal be.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    const ui::KernelHandle process(opened);
    bool running = ::WaitForSingleObject(opened, 0) == WAIT_TIMEOUT;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (running && ::GetProcessTimes(opened, &created, &exited, &kernel, &user) &&
        Ticks(created) != run.started)
        running = false;
    return running;
}

int LocalDayNumber() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
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
