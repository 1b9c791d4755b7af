// The end-to-end tests' side of the process driver: the program's path, a temporary folder per test,
// and the driver's reports turned into test failures.
#include "harness.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/files.h"
#include "driver/report.h"

namespace e2e {

namespace {

// Whatever the driver could not do fails the test that asked it to.
const bool g_reportsFailTests = [] {
    driver::SetFailureSink([](const std::string& what) { ADD_FAILURE() << what; });
    return true;
}();

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

std::wstring SafetyFolderPath() {
    const std::wstring base = driver::LocalAppDataFolder();
    return base.empty() ? base : base + L"\\Quillidar";
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
    ADD_FAILURE() << "cannot create a temporary folder under " << driver::Utf8(root);
}

TempFolder::~TempFolder() {
    if (m_path.empty())
        return;
    if (::testing::Test::HasFailure()) {
        std::printf("  kept the program's temporary folder: %s\n", driver::Utf8(m_path).c_str());
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
        ADD_FAILURE() << "cannot write " << driver::Utf8(m_path + name);
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

QuillProcess::QuillProcess() : m_temp(std::make_shared<TempFolder>()) {
    m_options.watchShown = true;
}

QuillProcess::~QuillProcess() {
    if (Running() && ::testing::Test::HasFailure()) {
        std::wstring shot = TempDir() + L"..\\" +
                            std::filesystem::path(FolderOf(TempDir())).filename().wstring() + L"-screen.bmp";
        if (SaveScreenshot(shot))
            std::printf("  screen at the failure: %s\n", driver::Utf8(shot).c_str());
    }
    m_process.Kill();
}

bool QuillProcess::Start() {
    if (m_process.Pid()) {
        ADD_FAILURE() << "the program was started twice by one QuillProcess";
        return false;
    }
    const std::wstring& exe = m_exe.empty() ? QuillidarPath() : m_exe;
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE()
            << "no program at " << driver::Utf8(exe)
            << " (give --quillidar=PATH, set QUILLIDAR_EXE, or put Quillidar.exe next to the driver)";
        return false;
    }
    std::wstring temp = m_tempOverride.empty() ? TempDir() : m_tempOverride;
    if (temp.empty())
        return false;
    temp.pop_back();
    m_options.program = exe;
    m_options.tempDir = temp;
    return m_process.Start(m_options);
}

ToolRun RunNotesTool(const std::wstring& args, const std::wstring& tempDir, const std::string& input,
                     DWORD timeoutMs) {
    ToolRun run;
    std::wstring exe = QuillidarPath();
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"quillidar-notes.exe";
    std::wstring temp = tempDir;
    temp.pop_back();
    std::vector<wchar_t> env = driver::EnvironmentBlock({{L"TMP", temp}, {L"TEMP", temp}});
    std::wstring cmdLine = L"\"" + exe + L"\" " + args;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0))
        return run;
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    const std::wstring outPath = tempDir + L"tool-output.txt";
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, env.data(), nullptr, &si, &pi);
    CloseHandle(inRead);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (started) {
        DWORD written = 0;
        if (!input.empty())
            WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    }
    CloseHandle(inWrite);
    if (!started)
        return run;
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        if (GetExitCodeProcess(pi.hProcess, &exit))
            run.code = exit;
    } else {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    run.out = driver::ReadWholeFile(outPath).value_or("");
    return run;
}

} // namespace e2e
