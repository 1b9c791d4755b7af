// Black-box driver for the end-to-end tests: starts Quillidar.exe, gives it real input, reads it back.
//
// Every wait is bounded: a wait that runs out records a test failure saying what did not happen and
// returns false (or an empty value), so a test never hangs. Nothing here assumes Wine; the same driver
// runs on Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <cstdint>
#include <vector>

namespace e2e {

// The longest any single wait of the driver may take.
inline constexpr DWORD kWaitMs = 10000;

// Full path of the program under test: --quillidar=PATH on the driver's command line, else the
// environment variable QUILLIDAR_EXE, else Quillidar.exe next to the driver.
const std::wstring& QuillidarPath();

// Lets ms milliseconds pass while answering the driver's own messages (event hooks, its windows).
void Pump(DWORD ms);
// Polls pred every few milliseconds, pumping messages, until it holds or timeoutMs has passed.
// Records no failure: callers say what they waited for.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = kWaitMs);

// A fresh folder under the driver's temporary directory, named after the running test. Removed when
// the last owner lets go, unless the test has failed: then it is kept and its path is printed.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing backslash, as GetTempPath gives it.
    const std::wstring& Path() const { return m_path; }
    bool Write(const std::wstring& name, std::string_view bytes) const;
    std::optional<std::string> Read(const std::wstring& name) const;
    // Names of everything in the folder (files and folders, not recursive), sorted.
    std::vector<std::wstring> Entries() const;

  private:
    std::wstring m_path;
};

// One run of Quillidar.exe with TMP and TEMP pointing at a folder of its own.
class QuillProcess {
  public:
    QuillProcess();
    // Kills the program if it still runs and waits for it to be gone.
    ~QuillProcess();
    QuillProcess(const QuillProcess&) = delete;
    QuillProcess& operator=(const QuillProcess&) = delete;

    // Before Start: runs this program instead of QuillidarPath() (a copy elsewhere, an installed one).
    void SetProgram(std::wstring exe) { m_exe = std::move(exe); }
    // Before Start. The working directory defaults to the program's folder.
    void SetWorkingDirectory(std::wstring dir) { m_workDir = std::move(dir); }
    // Adds or replaces one variable of the environment the program gets (an empty value removes it).
    void SetEnv(std::wstring name, std::wstring value);
    // Before Start: the most memory the program may commit (a job limit; 0 for none). Where the
    // system does not enforce it, the program simply runs without it.
    void SetMemoryLimit(SIZE_T bytes) { m_memoryLimit = bytes; }
    // Runs this copy with the temporary folder of another (a second copy of the program).
    void ShareTempFolderWith(const QuillProcess& other) { m_temp = other.m_temp; }
    bool WriteTempFile(const std::wstring& name, std::string_view bytes) const {
        return m_temp->Write(name, bytes);
    }

    // Starts the program; false (and a test failure) if it cannot be started.
    bool Start();
    // The program's visible top-level window, once it is shown and its thread answers messages.
    // nullptr and a test failure after timeoutMs.
    HWND WaitForWindow(DWORD timeoutMs = kWaitMs);
    // Every top-level window of the process, visible or not.
    std::vector<HWND> TopLevelWindows() const;
    // Every top-level window of the process seen visible since Start, in the order first seen: the
    // system's show events where it reports them (Windows), and a watcher polling every millisecond or
    // two (Wine 8 reports no show events), so a window shown only for a moment is caught too.
    std::vector<HWND> ShownWindows() const;
    bool WasShown(HWND w) const;

    // True once the process has ended; false and a test failure after timeoutMs.
    bool WaitForExit(DWORD timeoutMs = kWaitMs);
    bool Running() const;
    std::optional<DWORD> ExitCode() const;
    void Kill();

    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_process; }
    const std::wstring& TempDir() const { return m_temp->Path(); }
    std::optional<std::string> ReadTempFile(const std::wstring& name) const { return m_temp->Read(name); }
    std::vector<std::wstring> TempFiles() const { return m_temp->Entries(); }

  private:
    static void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);
    void RecordShown(HWND w);
    void Watch();

    std::shared_ptr<TempFolder> m_temp;
    std::wstring m_exe;
    std::wstring m_workDir;
    std::vector<std::pair<std::wstring, std::wstring>> m_env;
    HANDLE m_process = nullptr;
    HANDLE m_job = nullptr;
    SIZE_T m_memoryLimit = 0;
    DWORD m_pid = 0;
    HWINEVENTHOOK m_hook = nullptr;
    std::thread m_watcher;
    std::atomic<bool> m_stopWatching{false};
    mutable std::mutex m_shownLock;
    std::vector<HWND> m_shown;
};

// ---- Input, through SendInput only ----

enum class Button { Left, Right };

// Makes the top-level window of w the foreground window; false and a test failure if it cannot.
bool BringToFront(HWND w);
// Waits until the thread of w has taken what was sent to it so far (bounded).
bool Settle(HWND w);

// Screen points.
void MoveTo(POINT screen);
void PressAt(POINT screen, Button b = Button::Left);
void ReleaseAt(POINT screen, Button b = Button::Left);
void ClickAt(POINT screen, Button b = Button::Left);
// Presses at from, moves there in steps, releases at to.
void DragAt(POINT from, POINT to, int steps = 8);

// Client points of w; each settles w afterwards. The mouse does not bring w to the front first: a
// click does that itself, as it would for a user.
void Click(HWND w, POINT client, Button b = Button::Left);
void DoubleClick(HWND w, POINT client);
void Drag(HWND w, POINT fromClient, POINT toClient, int steps = 8);

// Keys go to the focus of the foreground window: these bring w to the front first, then settle it.
void KeyDown(WORD vk);
void KeyUp(WORD vk);
bool Key(HWND w, WORD vk);
// Holds the keys down in order and lets them go in reverse (Ctrl+A is {VK_CONTROL, 'A'}).
bool Chord(HWND w, std::initializer_list<WORD> vks);
// Types text as Unicode characters (KEYEVENTF_UNICODE), whatever the keyboard layout.
bool Type(HWND w, std::wstring_view text);

// A plain window of the driver's own, laid over the program's, to see the program's window come
// forward. Not a static control: those are transparent to hit-testing, so WindowFromPoint would look
// through them.
class CoverWindow {
  public:
    explicit CoverWindow(const RECT& screen);
    ~CoverWindow();
    CoverWindow(const CoverWindow&) = delete;
    CoverWindow& operator=(const CoverWindow&) = delete;
    HWND Get() const { return m_window; }

  private:
    HWND m_window = nullptr;
};

// ---- Reading back ----

POINT ToScreen(HWND w, POINT client);
RECT WindowRect(HWND w); // screen coordinates
RECT ClientRect(HWND w); // client coordinates: left and top are 0
// The window rectangle of a child in the client coordinates of its parent.
RECT RectInParent(HWND child);
inline LONG Width(const RECT& r) {
    return r.right - r.left;
}
inline LONG Height(const RECT& r) {
    return r.bottom - r.top;
}

// The colour on screen at a point, from the screen's device context.
COLORREF ScreenPixel(POINT screen);
// A block of the screen (screen coordinates) in one copy, row by row from the top, each pixel a
// DIB word 0x00RRGGBB; empty when the rectangle is empty or the copy fails.
std::vector<std::uint32_t> CaptureScreen(const RECT& screen);
// Saves the whole screen as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);

// The window with the keyboard focus in the thread of w (null when none).
HWND FocusedWindow(HWND w);
HWND Child(HWND parent, int id);
std::wstring ClassName(HWND w);
std::wstring TextW(HWND w);
// The text as the program holds it: GBK bytes (code page 936).
std::string TextGbk(HWND w);
std::string ToGbk(std::wstring_view text);

// Sends a message whose lParam points at size bytes: they are copied into the process, the message is
// sent, and they are copied back. For control messages the system does not marshal (MCM_*, ...).
bool SendRemote(HANDLE process, HWND w, UINT msg, WPARAM wp, void* data, std::size_t size,
                LRESULT* result = nullptr);
// MCM_GETCURSEL of a month calendar in another process.
std::optional<SYSTEMTIME> MonthCalSelection(HANDLE process, HWND calendar);

// ---- Dialog units ----

struct DialogFont {
    std::wstring face = L"宋体";
    WORD pointSize = 9;
    WORD weight = FW_NORMAL;
    BYTE charset = DEFAULT_CHARSET;
};

// Where the dialog manager puts a control given at x,y with size cx by cy dialog units, in a dialog
// with this font: position and size are mapped separately, as the dialog manager does.
RECT DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogFont& font = {});
// The pixel size of a dialog of cx by cy dialog units with this font.
SIZE DialogSizeToPixels(int cx, int cy, const DialogFont& font = {});

} // namespace e2e
