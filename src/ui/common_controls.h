// The common controls as the program uses them: comctl32 is no KnownDLL, so it is never imported
// (the loader would take a comctl32.dll lying next to the program first) but loaded from the system
// folder on first use, and its entries are looked up there.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace ui {

// Registers the window classes of the given ICC_* groups; false when comctl32 cannot be loaded.
bool InitCommonControls(DWORD classes);

// The window-subclassing calls of comctl32 5.8 and later, through the library loaded above.
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace ui
