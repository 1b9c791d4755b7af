// One run of a program under test, started and watched from outside: an environment of its own
// (TMP and TEMP naming a folder the caller chose), standard handles of its own, a job that ends it
// with the driver, and its top-level windows as they come and go.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/wait.h"

namespace driver {

using EnvOverrides = std::vector<std::pair<std::wstring, std::wstring>>;

// The driver's own environment with the overrides applied in order (an empty value removes the
// variable), as a CreateProcessW block sorted the way Windows keeps it.
std::vector<wchar_t> EnvironmentBlock(const EnvOverrides& overrides);

struct StartOptions {
    std::wstring program; // full path
    // TMP and TEMP of the program, without a trailing backslash; empty keeps the driver's.
    std::wstring tempDir;
    // Empty: the program's own folder.
    std::wstring workDir;
    // More variables; TMP and TEMP from tempDir are applied after these.
    EnvOverrides env;
    // A job that ends the program when the driver ends, so nothing outlives a crashed driver.
    bool ownJob = true;
    // With ownJob: the most memory the program may commit (0 for no limit). Where the system does
    // not enforce it, the program simply runs without it.
    SIZE_T memoryLimit = 0;
    // Records every top-level window of the program seen visible (see Process::ShownWindows). It
    // polls on a thread of its own, so a driver that measures the program's CPU time leaves it off.
    bool watchShown = false;

    // Adds or replaces one variable (names compare without regard to case).
    void SetEnv(std::wstring name, std::wstring value);
};

// Exit code given to a program the driver ends itself.
inline constexpr UINT kKilledExitCode = 0xDEAD;

class Process {
  public:
    Process() = default;
    // Ends the program if it still runs and waits for it to be gone.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program; false, with a report, if it cannot. Without ownJob and watchShown the
    // program runs from CreateProcessW on, with nothing of the driver's in between, which is what
    // a start-up time measured from StartedAt needs.
    bool Start(const StartOptions& options);
    // SecondsNow() taken just before the program was created.
    double StartedAt() const { return m_startedAt; }

    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_process; }
    bool Running() const;
    std::optional<DWORD> ExitCode() const;

    // Every top-level window of the process, visible or not.
    std::vector<HWND> TopLevelWindows() const;
    // The program's visible top-level window (its dialog when it shows one), once its thread has
    // taken everything sent to it so far and it is still visible then. Null, with a report, after
    // timeoutMs or when the program ends first.
    HWND WaitForWindow(DWORD timeoutMs = kWaitMs);
    // With watchShown: every top-level window of the process seen visible since Start, in the order
    // first seen: the system's show events where it reports them (Windows), and a watcher polling
    // every millisecond or two (Wine 8 reports no show events), so a window shown only for a moment
    // is caught too. Empty without watchShown.
    std::vector<HWND> ShownWindows() const;
    bool WasShown(HWND w) const;

    // True once the process has ended, answering the driver's own messages meanwhile; false with a
    // report after timeoutMs.
    bool WaitForExit(DWORD timeoutMs = kWaitMs);
    // True if the process ends within ms. Blocks without pumping and reports nothing: for a driver
    // that owns no windows and must not wake while it measures the program.
    bool EndsWithin(DWORD ms) const;
    // Ends the program now (kKilledExitCode) and waits for it to be gone; reports if it survives.
    void Kill();

  private:
    static void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);
    void RecordShown(HWND w);
    void Watch();

    HANDLE m_process = nullptr;
    HANDLE m_job = nullptr;
    DWORD m_pid = 0;
    double m_startedAt = 0;
    HWINEVENTHOOK m_hook = nullptr;
    std::thread m_watcher;
    std::atomic<bool> m_stopWatching{false};
    mutable std::mutex m_shownLock;
    std::vector<HWND> m_shown;
};

// Top-level windows of a process, in the order the system lists them (front to back).
std::vector<HWND> TopLevelWindowsOf(DWORD pid);
// The first visible top-level dialog (class "#32770") of a process; null while there is none.
HWND VisibleDialogOf(DWORD pid);

} // namespace driver
