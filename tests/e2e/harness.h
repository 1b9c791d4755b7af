// The end-to-end tests' side of the process driver (tests/driver): Quillidar.exe started in a
// temporary folder named after the running test, and every failure the driver reports recorded as
// a failure of that test. The driver's input and read-back helpers go by their own names here.
//
// Every wait is bounded: a wait that runs out records a test failure saying what did not happen and
// returns false (or an empty value), so a test never hangs. Nothing here assumes Wine; the same driver
// runs on Windows.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/dialog_units.h"
#include "driver/input.h"
#include "driver/process.h"
#include "driver/read_back.h"
#include "driver/remote.h"
#include "driver/text.h"
#include "driver/wait.h"

namespace e2e {

using driver::kWaitMs;
using driver::Pump;
using driver::WaitUntil;

using driver::BringToFront;
using driver::Button;
using driver::Chord;
using driver::Click;
using driver::ClickAt;
using driver::CoverWindow;
using driver::DoubleClick;
using driver::Drag;
using driver::DragAt;
using driver::Key;
using driver::KeyDown;
using driver::KeyUp;
using driver::MoveTo;
using driver::PressAt;
using driver::ReleaseAt;
using driver::Settle;
using driver::Type;

using driver::CaptureScreen;
using driver::Child;
using driver::ClassName;
using driver::ClientRect;
using driver::DrawOffScreen;
using driver::FocusedWindow;
using driver::Height;
using driver::RectInParent;
using driver::SaveScreenshot;
using driver::ScreenPixel;
using driver::TextGbk;
using driver::TextW;
using driver::ToGbk;
using driver::ToScreen;
using driver::Width;
using driver::WindowRect;

using driver::MonthCalSelection;
using driver::SendRemote;

using driver::DialogFont;
using driver::DialogSizeToPixels;
using driver::DialogUnitsToPixels;

// Full path of the program under test: --quillidar=PATH on the driver's command line, else the
// environment variable QUILLIDAR_EXE, else Quillidar.exe next to the driver.
const std::wstring& QuillidarPath();

// The folder where the program keeps its safety copies and journals, %LOCALAPPDATA%\Quillidar;
// empty when the system names no local application-data folder.
std::wstring SafetyFolderPath();

// One run of the notes tool next to the program under test.
struct ToolRun {
    std::optional<DWORD> code; // nullopt: would not start, or did not end in time (then ended)
    std::string out;           // standard output and error, as written
};

// The notes tool as the diary of tempDir (ending with a backslash), with `input` on its standard
// input; its output goes through a file in tempDir. A run past `timeoutMs` is ended.
ToolRun RunNotesTool(const std::wstring& args, const std::wstring& tempDir, const std::string& input = {},
                     DWORD timeoutMs = 60000);

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

// One run of Quillidar.exe with TMP and TEMP pointing at a folder of its own, in a job that ends it
// with the driver, every window it shows recorded.
class QuillProcess {
  public:
    QuillProcess();
    // Kills the program if it still runs (leaving a screenshot when the test has failed) and waits for
    // it to be gone.
    ~QuillProcess();
    QuillProcess(const QuillProcess&) = delete;
    QuillProcess& operator=(const QuillProcess&) = delete;

    // Before Start: runs this program instead of QuillidarPath() (a copy elsewhere, an installed one).
    void SetProgram(std::wstring exe) { m_exe = std::move(exe); }
    // Before Start. The working directory defaults to the program's folder.
    void SetWorkingDirectory(std::wstring dir) { m_options.workDir = std::move(dir); }
    // Adds or replaces one variable of the environment the program gets (an empty value removes it).
    void SetEnv(std::wstring name, std::wstring value) {
        m_options.SetEnv(std::move(name), std::move(value));
    }
    // Before Start: the most memory the program may commit (a job limit; 0 for none). Where the
    // system does not enforce it, the program simply runs without it.
    void SetMemoryLimit(SIZE_T bytes) { m_options.memoryLimit = bytes; }
    // Runs this copy with the temporary folder of another (a second copy of the program).
    void ShareTempFolderWith(const QuillProcess& other) { m_temp = other.m_temp; }
    // Before Start: TMP and TEMP name this folder (ending with a backslash) instead of the test's own,
    // which stays the parent of anything the test makes in it.
    void UseTempDir(std::wstring dir) { m_tempOverride = std::move(dir); }
    bool WriteTempFile(const std::wstring& name, std::string_view bytes) const {
        return m_temp->Write(name, bytes);
    }

    // Starts the program; false (and a test failure) if it cannot be started.
    bool Start();
    // See driver::Process for these.
    HWND WaitForWindow(DWORD timeoutMs = kWaitMs) { return m_process.WaitForWindow(timeoutMs); }
    std::vector<HWND> TopLevelWindows() const { return m_process.TopLevelWindows(); }
    std::vector<HWND> ShownWindows() const { return m_process.ShownWindows(); }
    bool WasShown(HWND w) const { return m_process.WasShown(w); }
    bool WaitForExit(DWORD timeoutMs = kWaitMs) { return m_process.WaitForExit(timeoutMs); }
    bool Running() const { return m_process.Running(); }
    std::optional<DWORD> ExitCode() const { return m_process.ExitCode(); }
    void Kill() { m_process.Kill(); }

    DWORD Pid() const { return m_process.Pid(); }
    HANDLE Handle() const { return m_process.Handle(); }
    const std::wstring& TempDir() const { return m_temp->Path(); }
    std::optional<std::string> ReadTempFile(const std::wstring& name) const { return m_temp->Read(name); }
    std::vector<std::wstring> TempFiles() const { return m_temp->Entries(); }

  private:
    // Declared before the process, so the program is gone before its folder is removed.
    std::shared_ptr<TempFolder> m_temp;
    std::wstring m_exe;
    driver::StartOptions m_options;
    std::wstring m_tempOverride;
    driver::Process m_process;
};

} // namespace e2e
