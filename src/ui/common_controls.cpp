// comctl32 loaded from the system folder, and its entries found there.
#include "ui/common_controls.h"

#include "ui/dll_search.h"

namespace ui {

namespace {

HMODULE Comctl32() {
    static const HMODULE module = LoadSystemDll(L"comctl32.dll");
    return module;
}

// By name; the subclassing calls of the 5.8x library outside side-by-side also answer to the
// ordinals they were first published under.
template <typename Fn> Fn Entry(const char* name, WORD ordinal = 0) {
    HMODULE module = Comctl32();
    if (!module)
        return nullptr;
    FARPROC found = ::GetProcAddress(module, name);
    if (!found && ordinal)
        found = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(found));
}

} // namespace

bool InitCommonControls(DWORD classes) {
    static const auto init = Entry<decltype(&::InitCommonControlsEx)>("InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc{sizeof(icc), classes};
    return init && init(&icc);
}

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    static const auto fn = Entry<decltype(&::SetWindowSubclass)>("SetWindowSubclass", 410);
    return fn ? fn(window, proc, id, data) : FALSE;
}

BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    static const auto fn = Entry<decltype(&::RemoveWindowSubclass)>("RemoveWindowSubclass", 412);
    return fn ? fn(window, proc, id) : FALSE;
}

LRESULT DefSubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    static const auto fn = Entry<decltype(&::DefSubclassProc)>("DefSubclassProc", 413);
    return fn ? fn(window, msg, wParam, lParam) : ::DefWindowProcW(window, msg, wParam, lParam);
}

} // namespace ui
