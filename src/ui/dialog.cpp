// The dialog trampoline: `this` lives in DWLP_USER from WM_INITDIALOG until WM_NCDESTROY.
#include "ui/dialog.h"

#include <cstdio>
#include <exception>
#include <iterator>
#include <new>

namespace ui {

void ReportCaught(const char* where) noexcept {
    // Narrow text of our own and of the runtime: ASCII in practice, widened byte for byte.
    char text[512] = "Quillidar: ";
    const char* what = "an exception of no standard type";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    std::snprintf(text, sizeof text, "Quillidar: %s: %s\n", where ? where : "?", what ? what : "?");
    wchar_t wide[512] = {};
    for (std::size_t i = 0; i + 1 < std::size(wide) && text[i]; ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    ::OutputDebugStringW(wide);
}

HWND Dialog::s_mainWnd = nullptr;

INT_PTR Dialog::DoModal() {
    // Like the application framework: without a parent, the owner is the main window's last active
    // pop-up, so a box opened from the calendar window disables the calendar window while it runs.
    HWND owner = m_parent;
    if (!owner && s_mainWnd)
        owner = ::GetLastActivePopup(s_mainWnd);
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                             &Dialog::Proc, reinterpret_cast<LPARAM>(this));
}

BOOL Dialog::OnCommand(UINT id, UINT, HWND) {
    switch (id) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR Dialog::OnNotify(UINT, NMHDR*) {
    return FALSE;
}

INT_PTR Dialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        return header ? OnNotify(static_cast<UINT>(header->idFrom), header) : FALSE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->m_hWnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->OnMessage(msg, wParam, lParam);
    } catch (...) {
        // A handler that failed leaves the message to the dialog manager; the window keeps running.
        ReportCaught("a window message's handler");
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

} // namespace ui
