// The note box's repaint after a scroll (its margins are invalidated whenever its first line moved),
// its caret when the focus arrives, and text put in from outside reported as typing.
#include "diary/note_box.h"

#include <commctrl.h>

#include "geometry/geometry.h"
#include "ui/common_controls.h"

namespace {

// What may move the text: the scroll bar and the wheel, keys and typing, a selection dragged past an
// edge (its timer scrolls), text put in, and the box's own scroll requests.
bool MayScroll(UINT msg) {
    switch (msg) {
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_IME_CHAR:
    case WM_IME_COMPOSITION:
    case WM_MOUSEMOVE:
    case WM_TIMER:
    case WM_LBUTTONDOWN:
    case WM_SIZE:
    case WM_SETTEXT:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
    case EM_REPLACESEL:
    case EM_SETSEL:
    case EM_SCROLL:
    case EM_LINESCROLL:
    case EM_SCROLLCARET:
        return true;
    default:
        return false;
    }
}

quill::ClientRect ToClientRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace

NoteBox::~NoteBox() {
    if (m_hWnd && ::IsWindow(m_hWnd))
        ui::RemoveWindowSubclass(m_hWnd, &NoteBox::SubclassProc, 0);
}

void NoteBox::Attach(HWND edit) {
    m_hWnd = edit;
    if (edit)
        ui::SetWindowSubclass(edit, &NoteBox::SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

void NoteBox::RepaintMargins() const {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    RECT text{};
    // Straight to the box's own procedure: this one only watches.
    ui::DefSubclassProc(m_hWnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    for (const quill::ClientRect& part : quill::OutsideTextRect(ToClientRect(client), ToClientRect(text))) {
        const RECT r{part.left, part.top, part.right, part.bottom};
        ::InvalidateRect(m_hWnd, &r, TRUE);
    }
    // At once, with the lines the scroll uncovered: not even one frame of the wrong strip.
    ::UpdateWindow(m_hWnd);
}

void NoteBox::CaretToEnd() const {
    const int length = ::GetWindowTextLengthW(m_hWnd);
    // Through the box's own window procedure, so that a scroll to the caret repaints the margins.
    ::SendMessageW(m_hWnd, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    ::SendMessageW(m_hWnd, EM_SCROLLCARET, 0, 0);
}

LRESULT CALLBACK NoteBox::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR self) {
    auto* box = reinterpret_cast<NoteBox*>(self);
    switch (msg) {
    case WM_NCDESTROY:
        ui::RemoveWindowSubclass(hwnd, &NoteBox::SubclassProc, 0);
        box->m_hWnd = nullptr;
        return ui::DefSubclassProc(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        // Without this flag the dialog manager never selects the text on its way in.
        return ui::DefSubclassProc(hwnd, msg, wParam, lParam) & ~static_cast<LRESULT>(DLGC_HASSETSEL);
    case WM_SETFOCUS: {
        const LRESULT result = ui::DefSubclassProc(hwnd, msg, wParam, lParam);
        // A click sets the caret where it was made before it takes the focus (Wine's box does).
        if (box->m_hWnd && !box->m_bClicking)
            box->CaretToEnd();
        return result;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const bool was = box->m_bClicking;
        box->m_bClicking = true;
        const LRESULT firstBefore = ui::DefSubclassProc(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
        const LRESULT result = ui::DefSubclassProc(hwnd, msg, wParam, lParam);
        box->m_bClicking = was;
        if (box->m_hWnd && ui::DefSubclassProc(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0) != firstBefore)
            box->RepaintMargins();
        return result;
    }
    case WM_CHAR:
        // The character Ctrl+A types; a plain box would ignore it, or beep.
        if (wParam == 1) {
            ::SendMessageW(hwnd, EM_SETSEL, 0, -1);
            return 0;
        }
        break;
    default:
        break;
    }
    if (!MayScroll(msg))
        return ui::DefSubclassProc(hwnd, msg, wParam, lParam);
    const LRESULT firstBefore = ui::DefSubclassProc(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
    const LRESULT result = ui::DefSubclassProc(hwnd, msg, wParam, lParam);
    if (box->m_hWnd && ui::DefSubclassProc(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0) != firstBefore)
        box->RepaintMargins();
    // Text put in from another thread or program (an input tool, a paste utility) is typing the
    // box reports no change for: a multi-line box sends no EN_CHANGE for WM_SETTEXT and clears its
    // modified flag. It is reported as a key would be, so the journal takes it. The window's own
    // WM_SETTEXT (a day shown) comes from its own thread and stays unreported.
    if (msg == WM_SETTEXT && result && box->m_hWnd && ::InSendMessage()) {
        ui::DefSubclassProc(hwnd, EM_SETMODIFY, TRUE, 0);
        if (const HWND parent = ::GetParent(hwnd))
            ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(hwnd)), EN_CHANGE),
                           reinterpret_cast<LPARAM>(hwnd));
    }
    return result;
}
