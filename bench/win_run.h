// One run of a program under test for the benchmarks, started through the process driver
// (tests/driver) and watched from outside: its first complete paint found by a pixel, its memory
// and CPU time read from the system.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "driver/process.h"

namespace bench {

struct Memory {
    double peakWorkingSet = 0; // bytes
    double privateBytes = 0;   // bytes, committed private (Wine: anonymous resident)
};

class WinRun {
  public:
    WinRun() = default;
    WinRun(const WinRun&) = delete;
    WinRun& operator=(const WinRun&) = delete;

    // Starts exe with TMP and TEMP set to tempDir (no trailing backslash); false if it cannot.
    bool Start(const std::wstring& exe, const std::wstring& tempDir);
    // Waits until the process shows its dialog and the pixel on the line under the title strip, half
    // way across, has the colour; returns the seconds since Start, or nothing after timeoutMs.
    std::optional<double> WaitForPaint(COLORREF color, DWORD timeoutMs);

    HWND Window() const { return m_window; }
    HANDLE Process() const { return m_process.Handle(); }
    void SetClockTicks(int ticksPerSecond) { m_ticks = ticksPerSecond; }
    std::optional<Memory> ReadMemory() const;
    // User plus kernel time of the process so far. Under Wine the process's own Unix process is read
    // (Wine's GetProcessTimes does not follow another process's time), elsewhere GetProcessTimes.
    std::optional<double> CpuSeconds() const;
    // Context switches of all the process's threads so far: how often it woke. Read from its Unix
    // process's threads under Wine; nothing elsewhere.
    std::optional<double> ContextSwitches() const;
    // Blocks without answering messages, so the driver does not wake while the program idles.
    bool WaitForExit(DWORD timeoutMs) const { return m_process.EndsWithin(timeoutMs); }

  private:
    driver::Process m_process;
    std::wstring m_exeName;
    mutable std::optional<std::uint32_t> m_unixPid;
    HWND m_window = nullptr;
    int m_ticks = 100;
};

// The Unix process running the program of this file name (the newest, if several), found through
// /proc on the Z: drive; nothing when there is no /proc (not Wine) or no such process.
std::optional<std::uint32_t> FindUnixProcess(const std::wstring& exeName);

// CPU seconds (user plus system) of a Unix process, from /proc through the Z: drive; the clock
// ticks per second are passed in. Nothing when the process is not there.
std::optional<double> UnixProcessCpuSeconds(std::uint32_t pid, int ticksPerSecond);

// Voluntary and involuntary context switches of every thread of a Unix process, from
// /proc/<pid>/task/*/status through the Z: drive. Nothing when the process is not there.
std::optional<double> UnixProcessContextSwitches(std::uint32_t pid);

} // namespace bench
