// Black-box driver for the end-to-end tests: process control, SendInput, and reading windows back.
#include "harness.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace e2e {

namespace {

std::string Utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring Hex(const void* p) {
    wchar_t buf[32];
    swprintf(buf, 32, L"%p", p);
    return buf;
}

std::wstring NameOf(HWND w) {
    return L"window " + Hex(w) + L" (" + ClassName(w) + L")";
}

ULONGLONG Now() {
    return GetTickCount64();
}

bool ProcessEnded(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

DWORD ProcessOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

// Environment names compare without regard to case; the block is kept sorted that way, as Windows expects.
bool SameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring_view EnvName(std::wstring_view entry) {
    // Names of the hidden per-drive variables ("=C:=C:\...") start with '='.
    std::size_t eq = entry.find(L'=', 1);
    return eq == std::wstring_view::npos ? entry : entry.substr(0, eq);
}

std::vector<wchar_t> EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& overrides) {
    std::vector<std::wstring> entries;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(env);
    }
    for (const auto& [name, value] : overrides) {
        std::erase_if(entries, [&](const std::wstring& e) { return SameName(EnvName(e), name); });
        if (!value.empty())
            entries.push_back(name + L"=" + value);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        std::wstring_view na = EnvName(a), nb = EnvName(b);
        return CompareStringOrdinal(na.data(), static_cast<int>(na.size()), nb.data(),
                                    static_cast<int>(nb.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries) {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    if (block.size() == 1)
        block.push_back(L'\0');
    return block;
}

std::wstring FolderOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring TestLabel() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string label = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    std::wstring out;
    for (char c : label)
        out.push_back(isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' ? c : L'_');
    return out.substr(0, 80);
}

// Processes whose event hook is live, so the hook callback can find its owner.
std::vector<QuillProcess*>& LiveProcesses() {
    static std::vector<QuillProcess*> live;
    return live;
}

} // namespace

const std::wstring& QuillidarPath() {
    static const std::wstring path = [] {
        std::wstring found;
        int argc = 0;
        if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
            const std::wstring_view flag = L"--quillidar=";
            for (int i = 1; i < argc; ++i) {
                std::wstring_view arg = argv[i];
                if (arg.starts_with(flag))
                    found = arg.substr(flag.size());
            }
            LocalFree(argv);
        }
        if (found.empty()) {
            wchar_t buf[MAX_PATH * 2];
            DWORD n = GetEnvironmentVariableW(L"QUILLIDAR_EXE", buf, static_cast<DWORD>(std::size(buf)));
            if (n > 0 && n < std::size(buf))
                found.assign(buf, n);
        }
        if (found.empty()) {
            wchar_t buf[MAX_PATH * 2];
            DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
            found = FolderOf(std::wstring(buf, n)) + L"\\Quillidar.exe";
        }
        std::replace(found.begin(), found.end(), L'/', L'\\');
        return found;
    }();
    return path;
}

void Pump(DWORD ms) {
    const ULONGLONG end = Now() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        ULONGLONG now = Now();
        if (now >= end)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const ULONGLONG end = Now() + timeoutMs;
    for (;;) {
        if (pred())
            return true;
        ULONGLONG now = Now();
        if (now >= end)
            return false;
        Pump(static_cast<DWORD>(std::min<ULONGLONG>(10, end - now)));
    }
}

// ---- TempFolder ----

TempFolder::TempFolder() {
    static unsigned counter = 0;
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(static_cast<DWORD>(std::size(base)), base);
    std::wstring root(base, n);
    if (root.empty() || root.back() != L'\\')
        root += L'\\';
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = root + L"quill-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(++counter) + L"-" + TestLabel();
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate + L"\\";
            return;
        }
    }
    ADD_FAILURE() << "cannot create a temporary folder under " << Utf8(root);
}

TempFolder::~TempFolder() {
    if (m_path.empty())
        return;
    if (::testing::Test::HasFailure()) {
        std::printf("  kept the program's temporary folder: %s\n", Utf8(m_path).c_str());
        return;
    }
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(m_path), ec);
}

bool TempFolder::Write(const std::wstring& name, std::string_view bytes) const {
    std::ofstream out(std::filesystem::path(m_path + name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        ADD_FAILURE() << "cannot write " << Utf8(m_path + name);
        return false;
    }
    return true;
}

std::optional<std::string> TempFolder::Read(const std::wstring& name) const {
    std::ifstream in(std::filesystem::path(m_path + name), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::wstring> TempFolder::Entries() const {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(m_path), ec))
        names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

// ---- QuillProcess ----

QuillProcess::QuillProcess() : m_temp(std::make_shared<TempFolder>()) {}

QuillProcess::~QuillProcess() {
    if (m_process && !ProcessEnded(m_process)) {
        if (::testing::Test::HasFailure()) {
            std::wstring shot = TempDir() + L"..\\" +
                                std::filesystem::path(FolderOf(TempDir())).filename().wstring() +
                                L"-screen.bmp";
            if (SaveScreenshot(shot))
                std::printf("  screen at the failure: %s\n", Utf8(shot).c_str());
        }
        Kill();
    }
    m_stopWatching = true;
    if (m_watcher.joinable())
        m_watcher.join();
    if (m_hook)
        UnhookWinEvent(m_hook);
    std::erase(LiveProcesses(), this);
    if (m_process)
        CloseHandle(m_process);
    if (m_job)
        CloseHandle(m_job);
}

void QuillProcess::SetEnv(std::wstring name, std::wstring value) {
    std::erase_if(m_env, [&](const auto& kv) { return SameName(kv.first, name); });
    m_env.emplace_back(std::move(name), std::move(value));
}

void CALLBACK QuillProcess::OnWinEvent(HWINEVENTHOOK hook, DWORD, HWND w, LONG object, LONG child, DWORD,
                                       DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF || !w)
        return;
    // A window already gone by the time the event arrives is kept: it may have been shown only briefly.
    if (IsWindow(w) && (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD))
        return;
    for (QuillProcess* p : LiveProcesses()) {
        if (p->m_hook == hook)
            p->RecordShown(w);
    }
}

void QuillProcess::RecordShown(HWND w) {
    std::lock_guard<std::mutex> lock(m_shownLock);
    if (std::find(m_shown.begin(), m_shown.end(), w) == m_shown.end())
        m_shown.push_back(w);
}

void QuillProcess::Watch() {
    while (!m_stopWatching && !ProcessEnded(m_process)) {
        for (HWND w : TopLevelWindows()) {
            if (IsWindowVisible(w))
                RecordShown(w);
        }
        Sleep(1);
    }
}

bool QuillProcess::Start() {
    if (m_process) {
        ADD_FAILURE() << "the program was started twice by one QuillProcess";
        return false;
    }
    const std::wstring& exe = m_exe.empty() ? QuillidarPath() : m_exe;
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE()
            << "no program at " << Utf8(exe)
            << " (give --quillidar=PATH, set QUILLIDAR_EXE, or put Quillidar.exe next to the driver)";
        return false;
    }
    std::wstring temp = TempDir();
    if (temp.empty())
        return false;
    temp.pop_back();
    auto overrides = m_env;
    overrides.emplace_back(L"TMP", temp);
    overrides.emplace_back(L"TEMP", temp);
    std::vector<wchar_t> env = EnvironmentBlock(overrides);

    std::wstring workDir = m_workDir.empty() ? FolderOf(exe) : m_workDir;
    std::wstring cmdLine = L"\"" + exe + L"\"";

    // Standard handles of its own: under Wine a child otherwise shares the driver's output, and whoever
    // reads that pipe waits for the child as well.
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (nul != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul;
    }
    PROCESS_INFORMATION pi{};
    BOOL ok =
        CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                       CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, env.data(), workDir.c_str(), &si, &pi);
    DWORD error = GetLastError();
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok) {
        ADD_FAILURE() << "CreateProcessW failed for " << Utf8(exe) << " with error " << error;
        return false;
    }
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;

    // Should the driver itself die, closing the job takes the program with it.
    m_job = CreateJobObjectW(nullptr, nullptr);
    if (m_job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (m_memoryLimit) {
            limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
            limits.ProcessMemoryLimit = m_memoryLimit;
        }
        if (!SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
            !AssignProcessToJobObject(m_job, m_process)) {
            CloseHandle(m_job);
            m_job = nullptr;
        }
    }
    // Hooked before the first instruction runs, so no window can be shown unseen.
    LiveProcesses().push_back(this);
    m_hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, &QuillProcess::OnWinEvent, m_pid,
                             0, WINEVENT_OUTOFCONTEXT);
    m_watcher = std::thread([this] { Watch(); });
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    return true;
}

std::vector<HWND> QuillProcess::TopLevelWindows() const {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{m_pid, {}};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (ProcessOf(w) == s->pid)
                s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> QuillProcess::ShownWindows() const {
    Pump(0);
    std::lock_guard<std::mutex> lock(m_shownLock);
    return m_shown;
}

bool QuillProcess::WasShown(HWND w) const {
    std::vector<HWND> shown = ShownWindows();
    return std::find(shown.begin(), shown.end(), w) != shown.end();
}

HWND QuillProcess::WaitForWindow(DWORD timeoutMs) {
    if (!m_process) {
        ADD_FAILURE() << "WaitForWindow before Start";
        return nullptr;
    }
    // A window counts once its thread answers and it is still visible then: one shown only for a
    // moment during start-up is not the program's window.
    const ULONGLONG end = Now() + timeoutMs;
    for (;;) {
        HWND found = nullptr;
        auto visible = [&] {
            HWND any = nullptr;
            for (HWND w : TopLevelWindows()) {
                if (!IsWindowVisible(w))
                    continue;
                if (ClassName(w) == L"#32770") {
                    found = w;
                    return true;
                }
                if (!any)
                    any = w;
            }
            found = any;
            return found != nullptr || ProcessEnded(m_process);
        };
        const ULONGLONG now = Now();
        if (now >= end || !WaitUntil(visible, static_cast<DWORD>(end - now))) {
            ADD_FAILURE() << "the program showed no window within " << timeoutMs << " ms";
            return nullptr;
        }
        if (!found) {
            ADD_FAILURE() << "the program ended with exit code " << ExitCode().value_or(0)
                          << " before showing a window";
            return nullptr;
        }
        if (!Settle(found))
            return nullptr;
        if (IsWindowVisible(found))
            return found;
    }
}

bool QuillProcess::WaitForExit(DWORD timeoutMs) {
    if (!m_process) {
        ADD_FAILURE() << "WaitForExit before Start";
        return false;
    }
    if (WaitUntil([&] { return ProcessEnded(m_process); }, timeoutMs))
        return true;
    ADD_FAILURE() << "the program did not end within " << timeoutMs << " ms";
    return false;
}

bool QuillProcess::Running() const {
    return m_process && !ProcessEnded(m_process);
}

std::optional<DWORD> QuillProcess::ExitCode() const {
    DWORD code = 0;
    if (!m_process || !ProcessEnded(m_process) || !GetExitCodeProcess(m_process, &code))
        return std::nullopt;
    return code;
}

void QuillProcess::Kill() {
    if (!m_process || ProcessEnded(m_process))
        return;
    TerminateProcess(m_process, 0xE2E);
    if (WaitForSingleObject(m_process, kWaitMs) != WAIT_OBJECT_0)
        ADD_FAILURE() << "process " << m_pid << " survived TerminateProcess";
}

// ---- Input ----

namespace {

void Send(std::vector<INPUT> inputs) {
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size())
        ADD_FAILURE() << "SendInput took " << sent << " of " << inputs.size() << " events (error "
                      << GetLastError() << ")";
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
        ADD_FAILURE() << "the mouse went to " << at.x << "," << at.y << " instead of " << p.x << "," << p.y;
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
        ADD_FAILURE() << "BringToFront: " << Utf8(NameOf(w)) << " is not a window";
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
    ADD_FAILURE() << "cannot bring " << Utf8(NameOf(root)) << " to the foreground (foreground is "
                  << Utf8(NameOf(GetForegroundWindow())) << ")";
    return false;
}

namespace {

bool RoundTrip(HWND w) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) || !IsWindow(w))
        return true;
    ADD_FAILURE() << Utf8(NameOf(w)) << " did not answer within " << kWaitMs << " ms";
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
        ADD_FAILURE() << Utf8(NameOf(root)) << " did not repaint within " << kWaitMs << " ms";
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

// ---- Reading back ----

CoverWindow::CoverWindow(const RECT& screen) {
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        wc.lpszClassName = L"QuillE2ECover";
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

POINT ToScreen(HWND w, POINT client) {
    ClientToScreen(w, &client);
    return client;
}

RECT WindowRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

RECT ClientRect(HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return r;
}

RECT RectInParent(HWND child) {
    RECT r = WindowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

COLORREF ScreenPixel(POINT screen) {
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, screen.x, screen.y);
    ReleaseDC(nullptr, dc);
    return c;
}

std::vector<std::uint32_t> CaptureScreen(const RECT& screen) {
    const int w = Width(screen), h = Height(screen);
    std::vector<std::uint32_t> pixels;
    if (w <= 0 || h <= 0)
        return pixels;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(dc);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (mem && bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        if (BitBlt(mem, 0, 0, w, h, dc, screen.left, screen.top, SRCCOPY)) {
            GdiFlush();
            const auto* p = static_cast<const std::uint32_t*>(bits);
            pixels.assign(p, p + static_cast<std::size_t>(w) * h);
        }
        SelectObject(mem, old);
    }
    if (bmp)
        DeleteObject(bmp);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, dc);
    return pixels;
}

bool SaveScreenshot(const std::wstring& path) {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0)
        return false;
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = h; // bottom-up, the layout every reader of BMP files takes
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    bih.biSizeImage = stride * static_cast<DWORD>(h);

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bmp =
        CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (mem && bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(mem, old);
    }
    if (ok) {
        BITMAPFILEHEADER bfh{};
        bfh.bfType = 0x4D42;
        bfh.bfOffBits = sizeof bfh + sizeof bih;
        bfh.bfSize = bfh.bfOffBits + bih.biSizeImage;
        std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(&bfh), sizeof bfh);
        out.write(reinterpret_cast<const char*>(&bih), sizeof bih);
        out.write(static_cast<const char*>(bits), bih.biSizeImage);
        ok = static_cast<bool>(out);
    }
    if (bmp)
        DeleteObject(bmp);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

HWND FocusedWindow(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

HWND Child(HWND parent, int id) {
    return GetDlgItem(parent, id);
}

std::wstring ClassName(HWND w) {
    wchar_t buf[256];
    int n = GetClassNameW(w, buf, static_cast<int>(std::size(buf)));
    return std::wstring(buf, static_cast<std::size_t>(std::max(0, n)));
}

std::wstring TextW(HWND w) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kWaitMs, &length)) {
        ADD_FAILURE() << "WM_GETTEXTLENGTH got no answer from " << Utf8(NameOf(w));
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             kWaitMs, &copied)) {
        ADD_FAILURE() << "WM_GETTEXT got no answer from " << Utf8(NameOf(w));
        return {};
    }
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::string ToGbk(std::wstring_view text) {
    if (text.empty())
        return {};
    int n =
        WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(0, n)), '\0');
    WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string TextGbk(HWND w) {
    return ToGbk(TextW(w));
}

bool SendRemote(HANDLE process, HWND w, UINT msg, WPARAM wp, void* data, std::size_t size, LRESULT* result) {
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) {
        ADD_FAILURE() << "VirtualAllocEx failed with error " << GetLastError();
        return false;
    }
    SIZE_T moved = 0;
    bool ok = WriteProcessMemory(process, remote, data, size, &moved) && moved == size;
    DWORD_PTR answer = 0;
    if (ok &&
        !SendMessageTimeoutW(w, msg, wp, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, kWaitMs, &answer)) {
        ADD_FAILURE() << "message " << msg << " got no answer from " << Utf8(NameOf(w));
        ok = false;
    }
    ok = ok && ReadProcessMemory(process, remote, data, size, &moved) && moved == size;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (ok && result)
        *result = static_cast<LRESULT>(answer);
    return ok;
}

std::optional<SYSTEMTIME> MonthCalSelection(HANDLE process, HWND calendar) {
    SYSTEMTIME st{};
    LRESULT found = 0;
    if (!SendRemote(process, calendar, MCM_GETCURSEL, 0, &st, sizeof st, &found) || !found)
        return std::nullopt;
    return st;
}

// ---- Dialog units ----

namespace {

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog that exists only long enough to ask the dialog manager for its base units.
RECT MapWithFont(RECT r, const DialogFont& font) {
    std::vector<BYTE> t;
    auto put = [&](const void* p, std::size_t n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        t.insert(t.end(), b, b + n);
    };
    auto word = [&](WORD v) { put(&v, sizeof v); };
    auto dword = [&](DWORD v) { put(&v, sizeof v); };
    word(1);      // DLGTEMPLATEEX version
    word(0xFFFF); // its signature
    dword(0);     // help id
    dword(0);     // extended style
    dword(WS_POPUP | DS_SETFONT);
    word(0); // no controls
    for (int i = 0; i < 4; ++i)
        word(0); // x, y, cx, cy: irrelevant to the mapping
    word(0);     // no menu
    word(0);     // default class
    word(0);     // no title
    word(font.pointSize);
    word(font.weight);
    t.push_back(0); // not italic
    t.push_back(font.charset);
    put(font.face.c_str(), (font.face.size() + 1) * sizeof(wchar_t));

    std::vector<DWORD> aligned((t.size() + 3) / 4);
    std::memcpy(aligned.data(), t.data(), t.size());
    HWND dlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), nullptr,
                                          &InertDialogProc, 0);
    if (!dlg) {
        ADD_FAILURE() << "cannot create a dialog with font " << Utf8(font.face) << " (error "
                      << GetLastError() << ")";
        return r;
    }
    MapDialogRect(dlg, &r);
    DestroyWindow(dlg);
    return r;
}

} // namespace

RECT DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogFont& font) {
    RECT m = MapWithFont(RECT{x, y, cx, cy}, font);
    return RECT{m.left, m.top, m.left + m.right, m.top + m.bottom};
}

SIZE DialogSizeToPixels(int cx, int cy, const DialogFont& font) {
    RECT m = MapWithFont(RECT{0, 0, cx, cy}, font);
    return SIZE{m.right, m.bottom};
}

} // namespace e2e
