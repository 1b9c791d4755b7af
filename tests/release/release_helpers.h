// Helpers of the release's end-to-end tests: the driver's arguments, programs run to their end,
// files, folders, the registry and the processes of an installed copy, all seen from outside.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e::release {

// Every value of --NAME=VALUE on the driver's command line, in order, '/' read as '\'.
std::vector<std::wstring> Args(std::wstring_view name);
// The one value of --NAME=VALUE; a test failure and an empty string when it is missing.
std::wstring Arg(std::wstring_view name);

std::wstring FolderOf(const std::wstring& path);
std::wstring FileNameOf(const std::wstring& path);
bool Exists(const std::wstring& path);
// Files of a folder and of the folders in it, by name relative to it, with their bytes; nullopt when
// the folder is missing.
using FileSet = std::vector<std::pair<std::wstring, std::string>>;
std::optional<FileSet> FilesIn(const std::wstring& folder);
// Names of the folder's entries, sorted; empty when it is missing.
std::vector<std::wstring> NamesIn(const std::wstring& folder);

// A known folder of this user (FOLDERID_LocalAppData, FOLDERID_Programs, ...), without a trailing
// backslash.
std::wstring KnownFolder(const GUID& id);
std::wstring LocalAppData();
// Where the installer puts the program when no folder is given.
std::wstring DefaultInstallFolder();
// The Start-menu shortcut of the program.
std::wstring ShortcutPath();
// What a shortcut starts; empty when it cannot be read.
std::wstring ShortcutTarget(const std::wstring& lnk);

// The DLLs Windows looks for in a program's folder before the system folder.
const std::vector<std::wstring>& PlantedDllNames();

// For as long as it lives, Wine loads the planted names for a program of this file name the way
// Windows does: a DLL in the program's folder before its own (its per-program DllOverrides, the same
// setting as WINEDLLOVERRIDES=NAME=n,b, which a child started from Windows code does not take from
// its environment). On Windows, a key nothing reads.
class WindowsLoadOrder {
  public:
    explicit WindowsLoadOrder(const std::wstring& exeName);
    ~WindowsLoadOrder();
    WindowsLoadOrder(const WindowsLoadOrder&) = delete;
    WindowsLoadOrder& operator=(const WindowsLoadOrder&) = delete;

  private:
    std::wstring m_key;
};
// Copies the marker DLL (next to the driver) into folder under each of these names.
bool PlantMarkers(const std::wstring& folder, const std::vector<std::wstring>& names);
// The markers whose DllMain ran: "<name>.loaded" files in folder, lower-case, sorted.
std::vector<std::wstring> MarkersThatRan(const std::wstring& folder);
// The program next to the driver that loads whatever it is told to (tests/release/dll_probe.c).
std::wstring ProbePath();
// The markers that run next to a program that merely starts and imports only KnownDLLs: what the
// system's own DLLs load from a program's folder, which no program can prevent. None on Windows;
// version.dll under Wine, whose user32 imports it.
const std::vector<std::wstring>& MarkersOfAnyProgram();
// The planted names a program can keep out of itself: all but those. Planting the others would only
// break the system's own DLLs (Wine's user32 calls into version.dll).
std::vector<std::wstring> MarkersToPlant();

struct Env {
    std::vector<std::pair<std::wstring, std::wstring>> vars;
};

// Runs "exe" args with its own standard handles and the driver's environment changed by env, and
// waits for it and for the processes it started before it ended (an uninstaller hands over to a
// copy of itself and ends at once). nullopt and a test failure when it does not end in timeoutMs.
std::optional<DWORD> RunToEnd(const std::wstring& exe, const std::wstring& args, const Env& env,
                              DWORD timeoutMs = 60000);

// A registry value of HKEY_CURRENT_USER: a string, a number, or nothing.
struct RegValue {
    std::optional<std::wstring> text;
    std::optional<DWORD> number;
    bool operator==(const RegValue&) const = default;
};
RegValue ReadRegistry(const std::wstring& key, const std::wstring& name);
bool RegistryKeyExists(const std::wstring& key);
void PrintTo(const RegValue& v, std::ostream* os);
inline RegValue Text(std::wstring s) {
    return {std::move(s), std::nullopt};
}
inline RegValue Number(DWORD n) {
    return {std::nullopt, n};
}
inline const RegValue kAbsent{};

inline constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillidar";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Processes running this program file, by process id.
std::vector<DWORD> ProcessesRunning(const std::wstring& exe);
// The visible calendar window of a process (the dialog holding the month calendar), or nullptr.
HWND CalendarWindowOf(DWORD pid);
// Ends a process through its save path, as Windows does at the end of a session, and waits for it.
bool EndThroughSavePath(DWORD pid);

std::string Utf8(std::wstring_view text);
// GBK bytes (code page 936, as the program's texts are compiled) as UTF-16.
std::wstring Wide936(std::string_view gbk);

} // namespace e2e::release
