// One run of a program under test, started and watched from outside.
#include "driver/process.h"

#include <algorithm>

#include "driver/input.h"
#include "driver/read_back.h"
#include "driver/report.h"
#include "driver/text.h"

namespace driver {

namespace {

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
    const std::size_t eq = entry.find(L'=', 1);
    return eq == std::wstring_view::npos ? entry : entry.substr(0, eq);
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// Processes whose event hook is live, so the hook callback can find its owner.
std::vector<Process*>& LiveProcesses() {
    static std::vector<Process*> live;
    return live;
}

} // namespace

std::vector<wchar_t> EnvironmentBlock(const EnvOverrides& overrides) {
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
        const std::wstring_view na = EnvName(a), nb = EnvName(b);
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

void StartOptions::SetEnv(std::wstring name, std::wstring value) {
    std::erase_if(env, [&](const auto& kv) { return SameName(kv.first, name); });
    env.emplace_back(std::move(name), std::move(value));
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
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

HWND VisibleDialogOf(DWORD pid) {
    for (HWND w : TopLevelWindowsOf(pid)) {
        wchar_t cls[16] = {};
        if (IsWindowVisible(w) && GetClassNameW(w, cls, 16) && wcscmp(cls, L"#32770") == 0)
            return w;
    }
    return nullptr;
}

// ---- Process ----

Process::~Process() {
    Kill();
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

bool Process::Start(const StartOptions& options) {
    if (m_process) {
        ReportFailure("the program was started twice by one Process");
        return false;
    }
    EnvOverrides overrides = options.env;
    if (!options.tempDir.empty()) {
        overrides.emplace_back(L"TMP", options.tempDir);
        overrides.emplace_back(L"TEMP", options.tempDir);
    }
    std::vector<wchar_t> env = EnvironmentBlock(overrides);
    const std::wstring& exe = options.program;
    const std::wstring workDir = options.workDir.empty() ? FolderOf(exe) : options.workDir;
    std::wstring cmdLine = L"\"" + exe + L"\"";
    // Held until the job and the hook are in place, so the program runs no instruction outside them.
    const bool suspended = options.ownJob || options.watchShown;

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
    m_startedAt = SecondsNow();
    const BOOL ok = CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                                   (suspended ? CREATE_SUSPENDED : 0) | CREATE_UNICODE_ENVIRONMENT,
                                   env.data(), workDir.c_str(), &si, &pi);
    const DWORD error = GetLastError();
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok) {
        ReportFailure("CreateProcessW failed for " + Utf8(exe) + " with error " + std::to_string(error));
        return false;
    }
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;

    if (options.ownJob) {
        m_job = CreateJobObjectW(nullptr, nullptr);
        if (m_job) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (options.memoryLimit) {
                limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
                limits.ProcessMemoryLimit = options.memoryLimit;
            }
            if (!SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
                !AssignProcessToJobObject(m_job, m_process)) {
                CloseHandle(m_job);
                m_job = nullptr;
            }
        }
    }
    if (options.watchShown) {
        LiveProcesses().push_back(this);
        m_hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, &Process::OnWinEvent, m_pid,
                                 0, WINEVENT_OUTOFCONTEXT);
        m_watcher = std::thread([this] { Watch(); });
    }
    if (suspended)
        ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    return true;
}

bool Process::Running() const {
    return m_process && !ProcessEnded(m_process);
}

std::optional<DWORD> Process::ExitCode() const {
    DWORD code = 0;
    if (!m_process || !ProcessEnded(m_process) || !GetExitCodeProcess(m_process, &code))
        return std::nullopt;
    return code;
}

std::vector<HWND> Process::TopLevelWindows() const {
    return TopLevelWindowsOf(m_pid);
}

void CALLBACK Process::OnWinEvent(HWINEVENTHOOK hook, DWORD, HWND w, LONG object, LONG child, DWORD, DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF || !w)
        return;
    // A window already gone by the time the event arrives is kept: it may have been shown only briefly.
    if (IsWindow(w) && (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD))
        return;
    for (Process* p : LiveProcesses()) {
        if (p->m_hook == hook)
            p->RecordShown(w);
    }
}

void Process::RecordShown(HWND w) {
    std::lock_guard<std::mutex> lock(m_shownLock);
    if (std::find(m_shown.begin(), m_shown.end(), w) == m_shown.end())
        m_shown.push_back(w);
}

void Process::Watch() {
    while (!m_stopWatching && !ProcessEnded(m_process)) {
        for (HWND w : TopLevelWindows()) {
            if (IsWindowVisible(w))
                RecordShown(w);
        }
        Sleep(1);
    }
}

std::vector<HWND> Process::ShownWindows() const {
    Pump(0);
    std::lock_guard<std::mutex> lock(m_shownLock);
    return m_shown;
}

bool Process::WasShown(HWND w) const {
    const std::vector<HWND> shown = ShownWindows();
    return std::find(shown.begin(), shown.end(), w) != shown.end();
}

HWND Process::WaitForWindow(DWORD timeoutMs) {
    if (!m_process) {
        ReportFailure("WaitForWindow before Start");
        return nullptr;
    }
    // A window counts once its thread answers and it is still visible then: one shown only for a
    // moment during start-up is not the program's window.
    const ULONGLONG end = GetTickCount64() + timeoutMs;
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
        const ULONGLONG now = GetTickCount64();
        if (now >= end || !WaitUntil(visible, static_cast<DWORD>(end - now))) {
            ReportFailure("the program showed no window within " + std::to_string(timeoutMs) + " ms");
            return nullptr;
        }
        if (!found) {
            ReportFailure("the program ended with exit code " + std::to_string(ExitCode().value_or(0)) +
                          " before showing a window");
            return nullptr;
        }
        if (!Settle(found))
            return nullptr;
        if (IsWindowVisible(found))
            return found;
    }
}

bool Process::WaitForExit(DWORD timeoutMs) {
    if (!m_process) {
        ReportFailure("WaitForExit before Start");
        return false;
    }
    if (WaitUntil([&] { return ProcessEnded(m_process); }, timeoutMs))
        return true;
    ReportFailure("the program did not end within " + std::to_string(timeoutMs) + " ms");
    return false;
}

bool Process::EndsWithin(DWORD ms) const {
    return m_process && WaitForSingleObject(m_process, ms) == WAIT_OBJECT_0;
}

void Process::Kill() {
    if (!m_process || ProcessEnded(m_process))
        return;
    TerminateProcess(m_process, kKilledExitCode);
    if (WaitForSingleObject(m_process, kWaitMs) != WAIT_OBJECT_0)
        ReportFailure("process " + std::to_string(m_pid) + " survived TerminateProcess");
}

} // namespace driver
