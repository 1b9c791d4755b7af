// Baseline programs for the benchmarks: a bare dialog from the calendar window's template 102, with
// its month calendar and note box and nothing else, built three ways:
//   QUILL_FLOOR_STARTUP     ends a second after its first paint (start-up and memory floor)
//   QUILL_FLOOR_TIMER       stays up with an empty 10 ms timer (idle floor of the clock)
//   neither                 stays up with no timer at all (idle floor of the bare window)
// It paints only the line under where the title strip would be, in the accent colour of the
// default scheme, so the driver sees its first complete paint exactly as it sees the program's, and
// answers a new selection in the calendar by putting the day ("2026-12-07") into the note box: the
// least a day switch can cost on this platform.
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

namespace {

constexpr UINT_PTR kClockTimer = 1;
constexpr UINT_PTR kEndTimer = 2;
constexpr COLORREF kAccent = RGB(100, 100, 190);
constexpr int kStripHeight = 23;

bool g_painted = false;

INT_PTR CALLBACK FloorProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
#ifdef QUILL_FLOOR_TIMER
        SetTimer(w, kClockTimer, 10, nullptr);
#endif
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc;
        GetClientRect(w, &rc);
        HPEN pen = CreatePen(PS_SOLID, 1, kAccent);
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, 0, kStripHeight, nullptr);
        LineTo(dc, rc.right, kStripHeight);
        SelectObject(dc, old);
        DeleteObject(pen);
        EndPaint(w, &ps);
#ifdef QUILL_FLOOR_STARTUP
        if (!g_painted)
            SetTimer(w, kEndTimer, 1000, nullptr);
#endif
        g_painted = true;
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kEndTimer)
            EndDialog(w, IDOK);
        return TRUE;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->idFrom == IDC_CALENDAR && hdr->code == MCN_SELCHANGE) {
            const SYSTEMTIME& st = reinterpret_cast<const NMSELCHANGE*>(lParam)->stSelStart;
            wchar_t text[16];
            wsprintfW(text, L"%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
            SetDlgItemTextW(w, IDC_EDIT, text);
        }
        return TRUE;
    }
    case WM_ENDSESSION:
        EndDialog(w, IDOK);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
            EndDialog(w, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CALENDAR), nullptr, FloorProc, 0);
    return 0;
}
