// Real input through SendInput, and waiting for the program to have taken it.
#include "driver/input.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "driver/read_back.h"
#include "driver/report.h"
#include "driver/wait.h"

namespace driver {

namespace {

void Send(std::vector<INPUT> inputs) {
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size())
        ReportFailure("SendInput took " + std::to_string(sent) + " of " + std::to_string(inputs.size()) +
                      " events (error " + std::to_string(GetLastError()) + ")");
}

// Absolute coordinates run from 0 to 65535 over the virtual screen; the system maps them back by
// truncation, so round up to land on the pixel asked for.
INPUT MouseInput(POINT p, DWORD flags) {
    const LONG vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const LONG vw = std::max(1, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const LONG vh = std::max(1, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(((static_cast<LONGLONG>(p.x) - vx) * 65536 + vw - 1) / vw);
    in.mi.dy = static_cast<LONG>(((static_cast<LONGLONG>(p.y) - vy) * 65536 + vh - 1) / vh);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    return in;
}

DWORD DownFlag(Button b) {
    return b == Button::Left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
}
DWORD UpFlag(Button b) {
    return b == Button::Left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
}

void WaitForCursor(POINT p) {
    POINT at{};
    if (!WaitUntil([&] { return GetCursorPos(&at) && at.x == p.x && at.y == p.y; }, 1000))
        ReportFailure("the mouse went to " + std::to_string(at.x) + "," + std::to_string(at.y) +
                      " instead of " + std::to_string(p.x) + "," + std::to_string(p.y));
}

bool IsExtendedKey(WORD vk) {
    switch (vk) {
    case VK_RMENU:
    case VK_RCONTROL:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_NUMLOCK:
    case VK_DIVIDE:
    case VK_SNAPSHOT:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
        return true;
    default:
        return false;
    }
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

INPUT UnicodeInput(wchar_t c, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wScan = c;
    in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    return in;
}

// Input is queued asynchronously; a short pause lets the system hand it to the window's thread.
constexpr DWORD kInputPauseMs = 20;

} // namespace

bool BringToFront(HWND w) {
    HWND root = GetAncestor(w, GA_ROOT);
    if (!root || !IsWindow(root)) {
        ReportFailure("BringToFront: " + DescribeWindow(w) + " is not a window");
        return false;
    }
    auto front = [&] { return GetForegroundWindow() == root; };
    if (front())
        return true;
    SetForegroundWindow(root);
    if (WaitUntil(front, 500))
        return true;
    // Windows lets a process take the foreground when it sent the last input: a null mouse move first,
    // then a tap of Alt as the last resort (it reaches whichever window is in front now).
    POINT cursor{};
    GetCursorPos(&cursor);
    Send({MouseInput(cursor, 0)});
    SetForegroundWindow(root);
    if (WaitUntil(front, 500))
        return true;
    Send({KeyInput(VK_MENU, false), KeyInput(VK_MENU, true)});
    SetForegroundWindow(root);
    if (WaitUntil(front, 2000))
        return true;
    ReportFailure("cannot bring " + DescribeWindow(root) + " to the foreground (foreground is " +
                  DescribeWindow(GetForegroundWindow()) + ")");
    return false;
}

namespace {

bool RoundTrip(HWND w) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) || !IsWindow(w))
        return true;
    ReportFailure(DescribeWindow(w) + " did not answer within " + std::to_string(kWaitMs) + " ms");
    return false;
}

} // namespace

bool Settle(HWND w) {
    Pump(kInputPauseMs);
    HWND root = GetAncestor(w, GA_ROOT);
    if (!root || !RoundTrip(root))
        return root == nullptr;
    if (!IsWindowVisible(root))
        return RoundTrip(root);
    // A thread takes WM_PAINT only when no sent, posted or input message is left, so once a pixel made
    // invalid here has been painted, every input sent before has been taken, and what it posted too.
    RECT pixel{0, 0, 1, 1};
    InvalidateRect(root, &pixel, FALSE);
    if (!WaitUntil([&] { return !IsWindow(root) || !GetUpdateRect(root, nullptr, FALSE); })) {
        ReportFailure(DescribeWindow(root) + " did not repaint within " + std::to_string(kWaitMs) + " ms");
        return false;
    }
    return RoundTrip(root);
}

void MoveTo(POINT screen) {
    Send({MouseInput(screen, 0)});
    WaitForCursor(screen);
}

void PressAt(POINT screen, Button b) {
    MoveTo(screen);
    Send({MouseInput(screen, DownFlag(b))});
    Pump(kInputPauseMs);
}

void ReleaseAt(POINT screen, Button b) {
    MoveTo(screen);
    Send({MouseInput(screen, UpFlag(b))});
    Pump(kInputPauseMs);
}

void ClickAt(POINT screen, Button b) {
    MoveTo(screen);
    Send({MouseInput(screen, DownFlag(b)), MouseInput(screen, UpFlag(b))});
    Pump(kInputPauseMs);
}

void DragAt(POINT from, POINT to, int steps) {
    PressAt(from);
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        MoveTo(p);
        Pump(kInputPauseMs);
    }
    ReleaseAt(to);
}

void Click(HWND w, POINT client, Button b) {
    ClickAt(ToScreen(w, client), b);
    Settle(w);
}

void DoubleClick(HWND w, POINT client) {
    POINT p = ToScreen(w, client);
    MoveTo(p);
    Send({MouseInput(p, MOUSEEVENTF_LEFTDOWN), MouseInput(p, MOUSEEVENTF_LEFTUP),
          MouseInput(p, MOUSEEVENTF_LEFTDOWN), MouseInput(p, MOUSEEVENTF_LEFTUP)});
    Settle(w);
}

void Drag(HWND w, POINT fromClient, POINT toClient, int steps) {
    DragAt(ToScreen(w, fromClient), ToScreen(w, toClient), steps);
    Settle(w);
}

void KeyDown(WORD vk) {
    Send({KeyInput(vk, false)});
}
void KeyUp(WORD vk) {
    Send({KeyInput(vk, true)});
}

bool Key(HWND w, WORD vk) {
    return Chord(w, {vk});
}

bool Chord(HWND w, std::initializer_list<WORD> vks) {
    if (!BringToFront(w))
        return false;
    std::vector<INPUT> inputs;
    for (WORD vk : vks)
        inputs.push_back(KeyInput(vk, false));
    for (auto it = std::rbegin(vks); it != std::rend(vks); ++it)
        inputs.push_back(KeyInput(*it, true));
    Send(inputs);
    return Settle(w);
}

bool Type(HWND w, std::wstring_view text) {
    if (!BringToFront(w))
        return false;
    for (wchar_t c : text) {
        // Line breaks and tabs as the keys a user presses, so the dialog manager sees them as such.
        if (c == L'\r')
            continue;
        if (c == L'\n' || c == L'\t') {
            WORD vk = c == L'\n' ? VK_RETURN : VK_TAB;
            Send({KeyInput(vk, false), KeyInput(vk, true)});
        } else {
            Send({UnicodeInput(c, false), UnicodeInput(c, true)});
        }
    }
    return Settle(w);
}

// ---- A window of the driver's own ----

CoverWindow::CoverWindow(const RECT& screen) {
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        wc.lpszClassName = L"QuillDriverCover";
        return RegisterClassW(&wc);
    }();
    m_window = CreateWindowExW(0, MAKEINTATOM(atom), L"cover", WS_POPUP | WS_VISIBLE | WS_BORDER, screen.left,
                               screen.top, Width(screen), Height(screen), nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
}

CoverWindow::~CoverWindow() {
    if (m_window)
        DestroyWindow(m_window);
}

} // namespace driver
