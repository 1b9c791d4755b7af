// Where the process takes DLLs from: the system folder only, never the folder the program was
// unpacked to (often Downloads, where anything may lie next to it) nor the current directory.
#pragma once
#include <windows.h>

namespace ui {

// Limits every later search for a DLL by name to the system folder. Called before anything else
// runs, so that the libraries system DLLs ask for by name on our behalf (uxtheme, dwmapi, version,
// ...) come from there too.
void RestrictDllSearch();

// A DLL of the system folder, loaded by name whatever folder the program runs from: for libraries
// that are not KnownDLLs, which the loader would otherwise look for next to the program first.
HMODULE LoadSystemDll(const wchar_t* name);

} // namespace ui
