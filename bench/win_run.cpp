// Starting and watching a program under test from outside.
#include "win_run.h"

#include <psapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace bench {

double SecondsNow() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

namespace {

std::wstring_view EnvName(std::wstring_view entry) {
    // Entries such as "=C:=C:\" start with '='; their name runs to the second one.
    const auto eq = entry.find(L'=', 1);
    return eq == std::wstring_view::npos ? entry : entry.substr(0, eq);
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towupper(x) == std::towupper(y);
           });
}

// The driver's own environment with TMP and TEMP replaced, sorted as Windows expects.
std::vector<wchar_t> EnvironmentWithTemp(const std::wstring& tempDir) {
    std::vector<std::wstring> entries;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(env);
    }
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
        std::erase_if(entries, [&](const std::wstring& e) { return SameName(EnvName(e), name); });
        entries.push_back(std::wstring(name) + L"=" + tempDir);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(std::wstring(EnvName(a)).c_str(), std::wstring(EnvName(b)).c_str()) < 0;
    });
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries)
        block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(L'\0');
    return block;
}

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid || !IsWindowVisible(w))
        return TRUE;
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (wcscmp(cls, L"#32770") != 0)
        return TRUE;
    s->found = w;
    return FALSE;
}

} // namespace

WinRun::~WinRun() {
    Kill();
}

bool WinRun::Start(const std::wstring& exe, const std::wstring& tempDir) {
    std::vector<wchar_t> env = EnvironmentWithTemp(tempDir);
    std::wstring cmdLine = L"\"" + exe + L"\"";
    // Standard handles of its own, so nothing of ours waits on its output.
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
    m_started = SecondsNow();
    const BOOL ok = CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                                   CREATE_UNICODE_ENVIRONMENT, env.data(), FolderOf(exe).c_str(), &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok)
        return false;
    CloseHandle(pi.hThread);
    m_exeName = exe.substr(exe.find_last_of(L"\\/") + 1);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    return true;
}

std::optional<double> WinRun::WaitForPaint(COLORREF color, DWORD timeoutMs) {
    HDC screen = GetDC(nullptr);
    std::optional<double> result;
    const double deadline = m_started + timeoutMs / 1000.0;
    for (;;) {
        const double now = SecondsNow();
        if (!m_window) {
            Search s{m_pid, nullptr};
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
            m_window = s.found;
        }
        if (m_window) {
            RECT rc{};
            GetClientRect(m_window, &rc);
            POINT pt{rc.right / 2, 23};
            ClientToScreen(m_window, &pt);
            if (rc.right > 0 && GetPixel(screen, pt.x, pt.y) == color) {
                result = SecondsNow() - m_started;
                break;
            }
        }
        if (now > deadline || WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
            break;
        Sleep(1);
    }
    ReleaseDC(nullptr, screen);
    return result;
}

std::optional<Memory> WinRun::ReadMemory() const {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(m_process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return std::nullopt;
    Memory m;
    m.peakWorkingSet = static_cast<double>(counters.PeakWorkingSetSize);
    // Wine leaves PrivateUsage at zero and reports the anonymous resident memory as the page-file use.
    m.privateBytes =
        static_cast<double>(counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage);
    return m;
}

std::optional<double> WinRun::CpuSeconds() const {
    if (!m_unixPid)
        m_unixPid = FindUnixProcess(m_exeName);
    if (m_unixPid)
        return UnixProcessCpuSeconds(*m_unixPid, m_ticks);
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(m_process, &created, &exited, &kernel, &user))
        return std::nullopt;
    auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

bool WinRun::WaitForExit(DWORD timeoutMs) const {
    return m_process && WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
}

void WinRun::Kill() {
    if (!m_process)
        return;
    if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, 10000);
    }
    CloseHandle(m_process);
    m_process = nullptr;
    m_window = nullptr;
}

namespace {

// The fields of a /proc/<pid>/stat line after the command name, the state being the first.
std::vector<std::string> StatFields(const std::string& text) {
    std::vector<std::string> fields;
    // The name in parentheses may hold spaces; the fields are counted from the closing one.
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size())
        return fields;
    std::string field;
    for (char c : text.substr(close + 2)) {
        if (c == ' ' || c == '\n') {
            fields.push_back(field);
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    return fields;
}

} // namespace

std::optional<std::uint32_t> FindUnixProcess(const std::wstring& exeName) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<std::uint32_t> best;
    double bestStart = -1;
    do {
        if (!iswdigit(found.cFileName[0]))
            continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const auto cmdline = ReadWholeFile(dir + L"\\cmdline");
        if (!cmdline || cmdline->empty())
            continue;
        // The first argument is the program itself, as a Unix or a Windows path.
        std::string first = cmdline->substr(0, cmdline->find('\0'));
        first = first.substr(first.find_last_of("\\/") + 1);
        if (_wcsicmp(Widen(first).c_str(), exeName.c_str()) != 0)
            continue;
        const auto stat = ReadWholeFile(dir + L"\\stat");
        const std::vector<std::string> fields = stat ? StatFields(*stat) : std::vector<std::string>{};
        // The start time is field 22 of the line, 20 after the state.
        const double start = fields.size() > 19 ? std::stod(fields[19]) : 0;
        if (start >= bestStart) {
            bestStart = start;
            best = static_cast<std::uint32_t>(_wtoi(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return best;
}

std::optional<double> UnixProcessCpuSeconds(std::uint32_t pid, int ticksPerSecond) {
    const auto text = ReadWholeFile(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
    if (!text || ticksPerSecond <= 0)
        return std::nullopt;
    const std::vector<std::string> fields = StatFields(*text);
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the state.
    if (fields.size() < 13)
        return std::nullopt;
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticksPerSecond;
}

std::optional<std::wstring> RemoteText(HWND w, DWORD timeoutMs) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeoutMs, &length))
        return std::nullopt;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             timeoutMs, &got))
        return std::nullopt;
    text.resize(std::min<std::size_t>(got, length));
    return text;
}

RemoteBlock::RemoteBlock(HANDLE process, std::size_t size)
    : m_process(process), m_size(size),
      m_remote(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteBlock::~RemoteBlock() {
    if (m_remote)
        VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
}

bool RemoteBlock::Send(HWND w, UINT msg, void* data) {
    SIZE_T moved = 0;
    DWORD_PTR answer = 0;
    return m_remote && WriteProcessMemory(m_process, m_remote, data, m_size, &moved) && moved == m_size &&
           SendMessageTimeoutW(w, msg, 0, reinterpret_cast<LPARAM>(m_remote), SMTO_NORMAL, 5000, &answer) &&
           ReadProcessMemory(m_process, m_remote, data, m_size, &moved) && moved == m_size;
}

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    HANDLE f =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        ok = WriteFile(f, bytes.data(), chunk, &written, nullptr) && written > 0;
        bytes.remove_prefix(written);
    }
    CloseHandle(f);
    return ok;
}

std::optional<std::uint64_t> FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return std::nullopt;
    // Read to the end rather than by size: files of /proc report none.
    std::string bytes;
    char buffer[1 << 16];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(f);
    return bytes;
}

void MakeFolders(const std::wstring& path) {
    for (std::size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring Widen(std::string_view text) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromGbk(std::string_view gbk) {
    if (gbk.empty())
        return {};
    const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

} // namespace bench
