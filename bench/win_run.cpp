// Starting and watching a program under test from outside, for the benchmarks.
#include "win_run.h"

#include <psapi.h>

#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "driver/files.h"
#include "driver/text.h"
#include "driver/wait.h"

namespace bench {

bool WinRun::Start(const std::wstring& exe, const std::wstring& tempDir) {
    driver::StartOptions options;
    options.program = exe;
    options.tempDir = tempDir;
    // Started as it is, not held for a job: the clock runs from CreateProcessW to the paint, and the
    // floors are started the same way, so nothing of the driver's stands between the two.
    options.ownJob = false;
    if (!m_process.Start(options))
        return false;
    m_exeName = exe.substr(exe.find_last_of(L"\\/") + 1);
    return true;
}

std::optional<double> WinRun::WaitForPaint(COLORREF color, DWORD timeoutMs) {
    HDC screen = GetDC(nullptr);
    std::optional<double> result;
    const double started = m_process.StartedAt();
    const double deadline = started + timeoutMs / 1000.0;
    for (;;) {
        const double now = driver::SecondsNow();
        if (!m_window)
            m_window = driver::VisibleDialogOf(m_process.Pid());
        if (m_window) {
            RECT rc{};
            GetClientRect(m_window, &rc);
            POINT pt{rc.right / 2, 23};
            ClientToScreen(m_window, &pt);
            if (rc.right > 0 && GetPixel(screen, pt.x, pt.y) == color) {
                result = driver::SecondsNow() - started;
                break;
            }
        }
        if (now > deadline || !m_process.Running())
            break;
        Sleep(1);
    }
    ReleaseDC(nullptr, screen);
    return result;
}

std::optional<Memory> WinRun::ReadMemory() const {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(m_process.Handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
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
    if (!GetProcessTimes(m_process.Handle(), &created, &exited, &kernel, &user))
        return std::nullopt;
    auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

std::optional<double> WinRun::ContextSwitches() const {
    if (!m_unixPid)
        m_unixPid = FindUnixProcess(m_exeName);
    if (!m_unixPid)
        return std::nullopt;
    return UnixProcessContextSwitches(*m_unixPid);
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
        const auto cmdline = driver::ReadWholeFile(dir + L"\\cmdline");
        if (!cmdline || cmdline->empty())
            continue;
        // The first argument is the program itself, as a Unix or a Windows path.
        std::string first = cmdline->substr(0, cmdline->find('\0'));
        first = first.substr(first.find_last_of("\\/") + 1);
        if (_wcsicmp(driver::Widen(first).c_str(), exeName.c_str()) != 0)
            continue;
        const auto stat = driver::ReadWholeFile(dir + L"\\stat");
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
    const auto text = driver::ReadWholeFile(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
    if (!text || ticksPerSecond <= 0)
        return std::nullopt;
    const std::vector<std::string> fields = StatFields(*text);
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the state.
    if (fields.size() < 13)
        return std::nullopt;
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticksPerSecond;
}

std::optional<double> UnixProcessContextSwitches(std::uint32_t pid) {
    const std::wstring tasks = L"Z:\\proc\\" + std::to_wstring(pid) + L"\\task\\";
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((tasks + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    double total = 0;
    bool any = false;
    do {
        if (!iswdigit(found.cFileName[0]))
            continue;
        const auto status = driver::ReadWholeFile(tasks + found.cFileName + L"\\status");
        if (!status)
            continue;
        for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
            // "nonvoluntary" holds "voluntary": each key is looked for at a line's start.
            const std::string line = std::string("\n") + key;
            const auto at = status->find(line);
            if (at == std::string::npos)
                continue;
            total += std::strtod(status->c_str() + at + line.size(), nullptr);
            any = true;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    if (!any)
        return std::nullopt;
    return total;
}

} // namespace bench
