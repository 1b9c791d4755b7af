// Baseline programs for the benchmarks: a bare dialog from the calendar window's template 102, with
// its month calendar and note box and nothing else, built four ways:
//   QUILL_FLOOR_STARTUP     ends a second after its first paint (start-up and memory floor)
//   QUILL_FLOOR_TIMER       stays up with an empty 10 ms timer (what a clock polled every 10 ms costs)
//   QUILL_FLOOR_SECOND      stays up with a timer set at each tick to the next second's boundary,
//                           and at each tick draws the time into the strip (idle floor of a clock
//                           that shows seconds: one wake-up and one small paint a second)
//   QUILL_FLOOR_SAVE        reads %TEMP%\nts.ini whole before its dialog, and at WM_ENDSESSION writes
//                           those bytes once to %TEMP%\floor_save.ini, flushed, before it ends
//                           (the floor of a close that saves the diary)
//   none of them            stays up with no timer at all (idle floor of the bare window and of the
//                           day switch)
// It paints only the line under where the title strip would be, in the accent colour of the
// default scheme, so the driver sees its first complete paint exactly as it sees the program's, and
// answers a new selection in the calendar by putting the day ("2026-12-07") into the note box,
// followed by %TEMP%\floor_note.txt when there is one: the least a day switch can cost here.
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

namespace {

constexpr UINT_PTR kClockTimer = 1;
constexpr UINT_PTR kEndTimer = 2;
constexpr COLORREF kAccent = RGB(100, 100, 190);
constexpr int kStripHeight = 23;

bool g_painted = false;

#if !defined(QUILL_FLOOR_STARTUP) && !defined(QUILL_FLOOR_TIMER) && !defined(QUILL_FLOOR_SAVE) &&            \
    !defined(QUILL_FLOOR_SECOND)
#define QUILL_FLOOR_NOTE
#endif

#if defined(QUILL_FLOOR_NOTE) || defined(QUILL_FLOOR_SAVE)
// The temporary folder with a trailing backslash, as GetTempPathW gives it, and the name added.
bool TempPath(const wchar_t* name, wchar_t (&path)[MAX_PATH + 32]) {
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH)
        return false;
    lstrcatW(path, name);
    return true;
}

// A file of the temporary folder opened for reading; INVALID_HANDLE_VALUE when there is none.
HANDLE OpenTempFile(const wchar_t* name) {
    wchar_t path[MAX_PATH + 32];
    if (!TempPath(name, path))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}
#endif

#ifdef QUILL_FLOOR_NOTE
// What a new selection shows after its date: the text of %TEMP%\floor_note.txt (UTF-16), which the
// driver makes as long as the notes of the diary the floor stands beside, so that the floor pays
// for laying out a note of the same length; nothing when there is no such file.
constexpr DWORD kNoteCapacity = 1 << 16;
wchar_t g_note[16 + kNoteCapacity];
DWORD g_noteChars = 0;

void ReadNote() {
    HANDLE f = OpenTempFile(L"floor_note.txt");
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD got = 0;
    if (ReadFile(f, g_note + 16, kNoteCapacity * sizeof(wchar_t), &got, nullptr))
        g_noteChars = got / sizeof(wchar_t);
    CloseHandle(f);
}
#else
wchar_t g_note[16 + 1];
DWORD g_noteChars = 0;
#endif

#ifdef QUILL_FLOOR_SAVE
// The diary as read at start: the least a program that keeps it in memory holds.
char* g_bytes = nullptr;
DWORD g_size = 0;

void ReadDiary() {
    HANDLE f = OpenTempFile(L"nts.ini");
    if (f == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size{};
    DWORD got = 0;
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < MAXDWORD) {
        g_bytes = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size.QuadPart)));
        if (g_bytes && ReadFile(f, g_bytes, static_cast<DWORD>(size.QuadPart), &got, nullptr))
            g_size = got;
    }
    CloseHandle(f);
}

// One write of everything and a flush to the disk: what any save that keeps the data safe must at
// least do.
void WriteDiary() {
    wchar_t path[MAX_PATH + 32];
    if (!TempPath(L"floor_save.ini", path))
        return;
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (g_size)
        WriteFile(f, g_bytes, g_size, &written, nullptr);
    FlushFileBuffers(f);
    CloseHandle(f);
}
#endif

#ifdef QUILL_FLOOR_SECOND
// The least a clock with seconds can do: wake once, just after each second begins.
void ArmSecond(HWND w) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const ULONGLONG ms = ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
    SetTimer(w, kClockTimer, static_cast<UINT>(1000 - ms % 1000 + 2), nullptr);
}
#endif

INT_PTR CALLBACK FloorProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
#ifdef QUILL_FLOOR_TIMER
        SetTimer(w, kClockTimer, 10, nullptr);
#endif
#ifdef QUILL_FLOOR_SECOND
        ArmSecond(w);
#endif
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc;
        GetClientRect(w, &rc);
#ifdef QUILL_FLOOR_SECOND
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t clock[16];
        const int n = wsprintfW(clock, L"%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
        TextOutW(dc, 4, 4, clock, n);
#endif
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
#ifdef QUILL_FLOOR_SECOND
        if (wParam == kClockTimer) {
            RECT strip{0, 0, 0, kStripHeight};
            GetClientRect(w, &strip);
            strip.bottom = kStripHeight;
            RedrawWindow(w, &strip, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            ArmSecond(w);
        }
#endif
        return TRUE;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->idFrom == IDC_CALENDAR && hdr->code == MCN_SELCHANGE) {
            const SYSTEMTIME& st = reinterpret_cast<const NMSELCHANGE*>(lParam)->stSelStart;
            // The date goes in front of the note, in the buffer's first sixteen places.
            wchar_t date[16];
            const int n = wsprintfW(date, L"%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
            wchar_t* text = g_note + 16 - n;
            CopyMemory(text, date, static_cast<SIZE_T>(n) * sizeof(wchar_t));
            g_note[16 + g_noteChars] = L'\0';
            SetDlgItemTextW(w, IDC_EDIT, text);
        }
        return TRUE;
    }
    case WM_ENDSESSION:
#ifdef QUILL_FLOOR_SAVE
        WriteDiary();
#endif
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
#ifdef QUILL_FLOOR_SAVE
    ReadDiary();
#endif
#ifdef QUILL_FLOOR_NOTE
    ReadNote();
#endif
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CALENDAR), nullptr, FloorProc, 0);
    return 0;
}
