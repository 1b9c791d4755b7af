// Helpers of the release's end-to-end tests: arguments, processes, files, the registry, shortcuts.
#include "release_helpers.h"

#include "driver/files.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

namespace e2e::release {

namespace {

std::vector<std::wstring> CommandLineArgs() {
    std::vector<std::wstring> out;
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i)
            out.emplace_back(argv[i]);
        LocalFree(argv);
    }
    return out;
}

std::wstring DriverFolder() {
    wchar_t buf[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
    return FolderOf(std::wstring(buf, n));
}

std::vector<wchar_t> EnvironmentWith(const Env& env) {
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : env.vars) {
        std::erase_if(entries, [&](const std::wstring& e) {
            const std::size_t eq = e.find(L'=', 1);
            const std::wstring_view n = std::wstring_view(e).substr(0, eq);
            return CompareStringOrdinal(n.data(), static_cast<int>(n.size()), name.data(),
                                        static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
        });
        entries.push_back(name + L"=" + value);
    }
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries) {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// The ids of the running processes whose snapshot entry passes `keep`.
template <typename Keep> std::vector<DWORD> ProcessesWhere(Keep keep) {
    std::vector<DWORD> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
        if (keep(entry))
            out.push_back(entry.th32ProcessID);
    }
    CloseHandle(snap);
    return out;
}

std::vector<DWORD> ChildrenOf(DWORD parent) {
    return ProcessesWhere([parent](const PROCESSENTRY32W& entry) {
        return entry.th32ParentProcessID == parent && entry.th32ProcessID != parent;
    });
}

std::wstring ImageOf(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return {};
    wchar_t buf[MAX_PATH * 2];
    DWORD n = static_cast<DWORD>(std::size(buf));
    std::wstring out;
    if (QueryFullProcessImageNameW(p, 0, buf, &n))
        out.assign(buf, n);
    CloseHandle(p);
    return out;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

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

std::wstring Wide936(std::string_view gbk) {
    if (gbk.empty())
        return {};
    const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::vector<std::wstring> Args(std::wstring_view name) {
    const std::wstring flag = L"--" + std::wstring(name) + L"=";
    std::vector<std::wstring> out;
    for (std::wstring arg : CommandLineArgs()) {
        if (arg.starts_with(flag)) {
            arg.erase(0, flag.size());
            std::replace(arg.begin(), arg.end(), L'/', L'\\');
            out.push_back(arg);
        }
    }
    return out;
}

std::wstring Arg(std::wstring_view name) {
    const std::vector<std::wstring> all = Args(name);
    if (all.size() != 1) {
        ADD_FAILURE() << "the driver needs exactly one --" << Utf8(name) << "=...";
        return {};
    }
    return all.front();
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            out.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<FileSet> FilesIn(const std::wstring& folder) {
    if (!Exists(folder))
        return std::nullopt;
    FileSet out;
    for (const std::wstring& name : NamesIn(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            // Each diary keeps its copies in a folder of its own: they count as the folder's files.
            for (auto& [inner, content] : FilesIn(path).value_or(FileSet{}))
                out.emplace_back(name + L"\\" + inner, std::move(content));
            continue;
        }
        out.emplace_back(name, driver::ReadWholeFile(path).value_or("<unreadable>"));
    }
    return out;
}

std::wstring KnownFolder(const GUID& id) {
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path)
        out = path;
    CoTaskMemFree(path);
    return out;
}

std::wstring LocalAppData() {
    return KnownFolder(FOLDERID_LocalAppData);
}

std::wstring DefaultInstallFolder() {
    return LocalAppData() + L"\\Programs\\Quillidar";
}

std::wstring ShortcutPath() {
    return KnownFolder(FOLDERID_Programs) + L"\\Quillidar.lnk";
}

std::wstring ShortcutTarget(const std::wstring& lnk) {
    std::wstring out;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t target[MAX_PATH * 2] = {};
            if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, static_cast<int>(std::size(target)), nullptr, 0)))
                out = target;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return out;
}

const std::vector<std::wstring>& PlantedDllNames() {
    static const std::vector<std::wstring> names{L"msimg32.dll", L"comctl32.dll", L"version.dll",
                                                 L"uxtheme.dll", L"dwmapi.dll"};
    return names;
}

WindowsLoadOrder::WindowsLoadOrder(const std::wstring& exeName)
    : m_key(L"Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (m_key + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot set the load order for " << Utf8(exeName);
        return;
    }
    static const wchar_t kNativeFirst[] = L"native,builtin";
    for (const std::wstring& name : PlantedDllNames())
        RegSetValueExW(key, name.substr(0, name.size() - 4).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
    RegCloseKey(key);
}

WindowsLoadOrder::~WindowsLoadOrder() {
    RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
}

bool PlantMarkers(const std::wstring& folder, const std::vector<std::wstring>& names) {
    const std::wstring marker = DriverFolder() + L"\\quill_dll_marker.dll";
    for (const std::wstring& name : names) {
        if (!CopyFileW(marker.c_str(), (folder + L"\\" + name).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot plant " << Utf8(name) << " from " << Utf8(marker);
            return false;
        }
    }
    return true;
}

std::vector<std::wstring> MarkersThatRan(const std::wstring& folder) {
    std::vector<std::wstring> out;
    for (const std::wstring& name : NamesIn(folder)) {
        // Named as the loader asked for it ("VERSION.dll" from an import table): compared as Windows does.
        if (name.ends_with(L".loaded")) {
            std::wstring dll = name.substr(0, name.size() - 7);
            CharLowerBuffW(dll.data(), static_cast<DWORD>(dll.size()));
            out.push_back(dll);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::wstring ProbePath() {
    return DriverFolder() + L"\\quill_dll_probe.exe";
}

namespace {

// The markers that run next to the probe run with these arguments.
std::vector<std::wstring> ProbeMarkers(const std::vector<std::wstring>& planted, const std::wstring& args) {
    TempFolder folder;
    const std::wstring probe = folder.Path() + L"quill_dll_probe.exe";
    if (!PlantMarkers(folder.Path(), planted) || !CopyFileW(ProbePath().c_str(), probe.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot lay out the probe";
        return {};
    }
    WindowsLoadOrder order(L"quill_dll_probe.exe");
    EXPECT_EQ(RunToEnd(probe, args, {}, kWaitMs), std::optional<DWORD>(0))
        << "the probe failed: " << Utf8(args);
    return MarkersThatRan(folder.Path());
}

} // namespace

const std::vector<std::wstring>& MarkersOfAnyProgram() {
    static const std::vector<std::wstring> markers = ProbeMarkers(PlantedDllNames(), L"");
    return markers;
}

std::vector<std::wstring> MarkersToPlant() {
    std::vector<std::wstring> names;
    for (const std::wstring& name : PlantedDllNames()) {
        const std::vector<std::wstring>& any = MarkersOfAnyProgram();
        if (std::find(any.begin(), any.end(), name) == any.end())
            names.push_back(name);
    }
    return names;
}

std::optional<DWORD> RunToEnd(const std::wstring& exe, const std::wstring& args, const Env& env,
                              DWORD timeoutMs) {
    std::wstring cmdLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    std::vector<wchar_t> block = EnvironmentWith(env);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const std::wstring workDir = FolderOf(exe);
    const BOOL ok = CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_UNICODE_ENVIRONMENT, block.data(), workDir.c_str(), &si, &pi);
    const DWORD error = GetLastError();
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok) {
        ADD_FAILURE() << "cannot start " << Utf8(cmdLine) << ": error " << error;
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    auto left = [&] { return static_cast<DWORD>(end > GetTickCount64() ? end - GetTickCount64() : 0); };
    if (WaitForSingleObject(pi.hProcess, left()) != WAIT_OBJECT_0) {
        CloseHandle(pi.hProcess);
        ADD_FAILURE() << Utf8(cmdLine) << " did not end within " << timeoutMs << " ms";
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    // What it started before it ended is part of the run; what those start (the program brought back
    // after an upgrade) runs on and is not waited for.
    for (DWORD child : ChildrenOf(pi.dwProcessId)) {
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, child);
        if (!h)
            continue;
        const bool isProgram = FileNameOf(ImageOf(child)) == L"Quillidar.exe";
        if (!isProgram && WaitForSingleObject(h, left()) != WAIT_OBJECT_0) {
            CloseHandle(h);
            ADD_FAILURE() << "what " << Utf8(cmdLine) << " started did not end within " << timeoutMs << " ms";
            return std::nullopt;
        }
        CloseHandle(h);
    }
    return code;
}

RegValue ReadRegistry(const std::wstring& key, const std::wstring& name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     data.data(), &size) != ERROR_SUCCESS)
        return {};
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD v = 0;
        memcpy(&v, data.data(), sizeof v);
        return Number(v);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        return Text(std::wstring(reinterpret_cast<const wchar_t*>(data.data())));
    return Text(L"<value of type " + std::to_wstring(type) + L">");
}

bool RegistryKeyExists(const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

void PrintTo(const RegValue& v, std::ostream* os) {
    if (v.text)
        *os << '"' << Utf8(*v.text) << '"';
    else if (v.number)
        *os << "dword " << *v.number;
    else
        *os << "(absent)";
}

std::vector<DWORD> ProcessesRunning(const std::wstring& exe) {
    return ProcessesWhere([&exe](const PROCESSENTRY32W& entry) {
        return SamePath(FileNameOf(exe), entry.szExeFile) && SamePath(ImageOf(entry.th32ProcessID), exe);
    });
}

HWND CalendarWindowOf(DWORD pid) {
    for (HWND w : driver::TopLevelWindowsOf(pid)) {
        if (IsWindowVisible(w) && FindWindowExW(w, nullptr, L"SysMonthCal32", nullptr))
            return w;
    }
    return nullptr;
}

bool EndThroughSavePath(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return true;
    HWND window = nullptr;
    WaitUntil([&] { return (window = CalendarWindowOf(pid)) != nullptr; });
    bool ended = false;
    if (window) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 20000, &result);
        ended = WaitForSingleObject(process, kWaitMs) == WAIT_OBJECT_0;
    }
    CloseHandle(process);
    return ended;
}

} // namespace e2e::release
