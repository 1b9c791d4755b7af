// Restricting DLL loading to the system folder, with the fallbacks Windows 7 needs before its 2011
// loader update (KB2533623), which added SetDefaultDllDirectories and the LOAD_LIBRARY_SEARCH flags.
#include "ui/dll_search.h"

#include <string>

namespace ui {

void RestrictDllSearch() {
    // Looked up rather than imported: an unpatched Windows 7 would refuse to start the program.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                         ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Without it, at least the current directory leaves the search.
        ::SetDllDirectoryW(L"");
    }
    // The libraries system DLLs ask for by name on the program's behalf, taken from the system folder
    // now: a later request by name finds them loaded. That covers a loader without the call above, and
    // a system DLL's delayed import that does not go through the default directories (Wine's user32
    // asks for msimg32 so when it draws).
    for (const wchar_t* name : {L"uxtheme.dll", L"dwmapi.dll", L"version.dll", L"msimg32.dll"})
        LoadSystemDll(name);
}

HMODULE LoadSystemDll(const wchar_t* name) {
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    // The flag is refused where the loader update is missing; a full path into the system folder
    // asks for the same file there.
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, n) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace ui
