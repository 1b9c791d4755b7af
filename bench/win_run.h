// One run of a program under test, watched from outside: started with its own TMP and TEMP, its
// first complete paint found by a pixel, its memory and CPU time read from the system.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

double SecondsNow();

struct Memory {
    double peakWorkingSet = 0; // bytes
    double privateBytes = 0;   // bytes, committed private (Wine: anonymous resident)
};

class WinRun {
  public:
    WinRun() = default;
    ~WinRun();
    WinRun(const WinRun&) = delete;
    WinRun& operator=(const WinRun&) = delete;

    // Starts exe with TMP and TEMP set to tempDir (no trailing backslash); false if it cannot.
    bool Start(const std::wstring& exe, const std::wstring& tempDir);
    // Waits until the process shows its dialog and the pixel on the line under the title strip, half
    // way across, has the colour; returns the seconds since Start, or nothing after timeoutMs.
    std::optional<double> WaitForPaint(COLORREF color, DWORD timeoutMs);

    HWND Window() const { return m_window; }
    HANDLE Process() const { return m_process; }
    void SetClockTicks(int ticksPerSecond) { m_ticks = ticksPerSecond; }
    std::optional<Memory> ReadMemory() const;
    // User plus kernel time of the process so far. Under Wine the process's own Unix process is read
    // (Wine's GetProcessTimes does not follow another process's time), elsewhere GetProcessTimes.
    std::optional<double> CpuSeconds() const;
    bool WaitForExit(DWORD timeoutMs) const;
    void Kill();

  private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
    std::wstring m_exeName;
    mutable std::optional<std::uint32_t> m_unixPid;
    double m_started = 0;
    HWND m_window = nullptr;
    int m_ticks = 100;
};

// The Unix process running the program of this file name (the newest, if several), found through
// /proc on the Z: drive; nothing when there is no /proc (not Wine) or no such process.
std::optional<std::uint32_t> FindUnixProcess(const std::wstring& exeName);

// CPU seconds (user plus system) of a Unix process, from /proc through the Z: drive; the clock
// ticks per second are passed in. Nothing when the process is not there.
std::optional<double> UnixProcessCpuSeconds(std::uint32_t pid, int ticksPerSecond);

// The text of a window of another process (WM_GETTEXT); nothing when it does not answer in time.
std::optional<std::wstring> RemoteText(HWND w, DWORD timeoutMs = 2000);

// A block of memory in another process, for the control messages the system does not carry across
// processes (MCM_HITTEST, ...): the bytes are copied in, the message is sent, and they are copied back.
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, std::size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool Send(HWND w, UINT msg, void* data);

  private:
    HANDLE m_process;
    std::size_t m_size;
    void* m_remote;
};

inline bool SendRemote(HANDLE process, HWND w, UINT msg, void* data, std::size_t size) {
    return RemoteBlock(process, size).Send(w, msg, data);
}

// File helpers over Windows paths.
bool WriteWholeFile(const std::wstring& path, std::string_view bytes);
std::optional<std::uint64_t> FileSize(const std::wstring& path);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
void MakeFolders(const std::wstring& path);
// Removes the files directly inside the folder (not the folder, not sub-folders).
void EmptyFolder(const std::wstring& folder);

std::wstring Widen(std::string_view utf8OrAscii);
std::string Utf8(std::wstring_view text);
std::wstring FromGbk(std::string_view gbk);

} // namespace bench
