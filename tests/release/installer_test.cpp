// The installer, run silently as an administrator's script or "Apps and features" would run it, each
// suite in a prefix nobody has installed anything into (tests/release/in_fresh_prefix.sh):
//   --setup=PATH         the installer scripts/package made
//   --older-setup=PATH   an installer of an older version (other bytes, version 0.9)
//   --expected=FOLDER    the zip's files, which the installer must put down byte for byte
#include "release_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diary_helpers.h"
#include "identity.h"

namespace e2e::release {
namespace {

using diary::Entries;
using diary::NotesBytes;

const wchar_t kOlderVersion[] = L"0.9";

std::wstring InstalledExe(const std::wstring& folder) {
    return folder + L"\\Quillidar.exe";
}

// The installer's own temporary files go to TEMP, and a copy it starts again reads its diary there:
// the same folder as the copy it replaces.
Env TempOf(const std::wstring& temp) {
    std::wstring t = temp;
    if (!t.empty() && t.back() == L'\\')
        t.pop_back();
    return Env{{{L"TEMP", t}, {L"TMP", t}}};
}

struct Expected {
    const wchar_t* key;
    const wchar_t* name;
    RegValue value;
};

// Everything an installed copy leaves in the registry, in the folder it was installed to.
std::vector<Expected> RegistryOfInstall(const std::wstring& folder, const std::wstring& version) {
    const std::wstring exe = InstalledExe(folder);
    const std::wstring uninstaller = folder + L"\\uninstall.exe";
    return {
        {kRunKey, L"Quillidar", Text(L"\"" + exe + L"\"")},
        {kUninstallKey, L"DisplayName", Text(L"Quillidar")},
        {kUninstallKey, L"DisplayVersion", Text(version)},
        {kUninstallKey, L"Publisher", Text(Wide936(QUILL_PUBLISHER))},
        {kUninstallKey, L"DisplayIcon", Text(exe + L",0")},
        {kUninstallKey, L"InstallLocation", Text(folder)},
        {kUninstallKey, L"UninstallString", Text(L"\"" + uninstaller + L"\"")},
        {kUninstallKey, L"QuietUninstallString", Text(L"\"" + uninstaller + L"\" /S")},
        {kUninstallKey, L"NoModify", Number(1)},
        {kUninstallKey, L"NoRepair", Number(1)},
    };
}

void ExpectRegistry(const std::vector<Expected>& table) {
    for (const Expected& e : table)
        EXPECT_EQ(ReadRegistry(e.key, e.name), e.value) << Utf8(e.key) << " : " << Utf8(e.name);
}

// The installed folder holds the release's files, byte for byte, and the uninstaller.
void ExpectReleaseFilesIn(const std::wstring& folder) {
    const std::optional<FileSet> expected = FilesIn(Arg(L"expected"));
    ASSERT_TRUE(expected && !expected->empty()) << "no unpacked release at --expected";
    const std::optional<FileSet> installed = FilesIn(folder);
    ASSERT_TRUE(installed) << "nothing installed at " << Utf8(folder);
    std::vector<std::wstring> names;
    for (const auto& [name, bytes] : *installed) {
        names.push_back(name);
        if (name == L"uninstall.exe")
            continue;
        const auto want =
            std::find_if(expected->begin(), expected->end(), [&](auto& f) { return f.first == name; });
        ASSERT_NE(want, expected->end()) << "installed but not in the release: " << Utf8(name);
        EXPECT_TRUE(bytes == want->second) << Utf8(name) << " differs from the release's";
    }
    std::vector<std::wstring> wanted{L"uninstall.exe"};
    for (const auto& [name, bytes] : *expected)
        wanted.push_back(name);
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(names, wanted);
}

// What Apps and features shows as the size: the folder's files in KiB.
void ExpectEstimatedSize(const std::wstring& folder) {
    std::size_t bytes = 0;
    std::size_t files = 0;
    for (const auto& [name, content] : FilesIn(folder).value_or(FileSet{})) {
        bytes += content.size();
        ++files;
    }
    const RegValue size = ReadRegistry(kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(size.number) << "no EstimatedSize";
    EXPECT_NEAR(static_cast<double>(*size.number), bytes / 1024.0, 1.0 + files);
}

// ---- Fresh install ----

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The installer's stub is NSIS's own, and NSIS limits its DLL search to the system folder: every
// library it asks for by name comes from there. Under Wine, once, before that limit applies, the
// stub's start takes uxtheme.dll from its folder (and unloads it at once); a program of our own does
// not see this (DllSearch tests). On Windows nothing may run.
std::vector<std::wstring> SetupsOwnLoads() {
    return UnderWine() ? std::vector<std::wstring>{L"uxtheme.dll"} : std::vector<std::wstring>{};
}

// Run from a Downloads folder where DLLs of system names lie next to it, as a browser may leave them.
TEST(InstallerInstall, SilentInstallPutsEverythingInPlaceAndRunsNoPlantedDll) {
    TempFolder downloads;
    const std::wstring setup = downloads.Path() + FileNameOf(Arg(L"setup"));
    ASSERT_TRUE(CopyFileW(Arg(L"setup").c_str(), setup.c_str(), FALSE));
    ASSERT_TRUE(PlantMarkers(downloads.Path(), MarkersToPlant()));
    TempFolder temp;
    {
        WindowsLoadOrder order(FileNameOf(setup));
        EXPECT_EQ(RunToEnd(setup, L"/S", TempOf(temp.Path())), std::optional<DWORD>(0));
    }
    EXPECT_EQ(MarkersThatRan(downloads.Path()), SetupsOwnLoads());

    const std::wstring folder = DefaultInstallFolder();
    ExpectReleaseFilesIn(folder);
    ExpectRegistry(RegistryOfInstall(folder, Wide936(QUILL_VERSION)));
    ExpectEstimatedSize(folder);
    EXPECT_EQ(ShortcutTarget(ShortcutPath()), InstalledExe(folder)) << Utf8(ShortcutPath());
    EXPECT_TRUE(ProcessesRunning(InstalledExe(folder)).empty())
        << "a fresh silent install started the program";

    QuillProcess app;
    app.SetProgram(InstalledExe(folder));
    ASSERT_TRUE(app.Start());
    EXPECT_NE(app.WaitForWindow(), nullptr) << "the installed program shows no window";
    EXPECT_TRUE(EndThroughSavePath(app.Pid()));
}

// ---- Upgrade over a running copy ----

struct RunningCopy {
    const char* name;
    // Done to the running copy's calendar window after the typing, before the upgrade.
    std::function<void(HWND calendar)> then;
};

void PrintTo(const RunningCopy& c, std::ostream* os) {
    *os << c.name;
}

class InstallerUpgrade : public ::testing::TestWithParam<RunningCopy> {};

TEST_P(InstallerUpgrade, EndsTheRunningCopyThroughItsSaveAndKeepsWhatWasTyped) {
    const std::wstring folder = DefaultInstallFolder();
    const std::wstring exe = InstalledExe(folder);
    // The older version, with the widget running, as after a log-in with "start with Windows".
    ASSERT_EQ(RunToEnd(Arg(L"older-setup"), L"/S", {}), std::optional<DWORD>(0));
    ASSERT_EQ(ReadRegistry(kUninstallKey, L"DisplayVersion"), Text(kOlderVersion));
    for (DWORD pid : ProcessesRunning(exe))
        ASSERT_TRUE(EndThroughSavePath(pid));

    const std::string today = diary::TodayKey();
    const std::string before = NotesBytes(Entries{{today, "written before"}});
    QuillProcess app;
    app.SetProgram(exe);
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", before));
    ASSERT_TRUE(app.Start());
    HWND window = app.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND note = Child(window, diary::kNoteBoxId);
    ASSERT_TRUE(WaitUntil([&] { return TextGbk(note) == "written before"; }, 3000)) << TextGbk(note);
    Click(note, {8, 8});
    Chord(window, {VK_CONTROL, VK_END});
    const std::wstring typed = L", 升级前刚写下 typed just now";
    ASSERT_TRUE(Type(window, typed));
    const std::string shown = "written before" + ToGbk(typed);
    ASSERT_TRUE(WaitUntil([&] { return TextGbk(note) == shown; }, 3000)) << TextGbk(note);
    ASSERT_EQ(app.ReadTempFile(L"nts.ini"), before) << "the text was saved before the upgrade";
    GetParam().then(window);

    EXPECT_EQ(RunToEnd(Arg(L"setup"), L"/S", TempOf(app.TempDir())), std::optional<DWORD>(0));

    EXPECT_EQ(WaitForSingleObject(app.Handle(), 0), WAIT_OBJECT_0) << "the old copy still runs";
    EXPECT_TRUE(diary::SameBytes(app.ReadTempFile(L"nts.ini"), NotesBytes(Entries{{today, shown}})));
    ExpectReleaseFilesIn(folder);
    EXPECT_EQ(ReadRegistry(kUninstallKey, L"DisplayVersion"), Text(Wide936(QUILL_VERSION)));

    // The widget comes back, once, from the new files, with the saved diary.
    std::vector<DWORD> running;
    WaitUntil([&] {
        running = ProcessesRunning(exe);
        return !running.empty() && CalendarWindowOf(running.front());
    });
    ASSERT_EQ(running.size(), 1u) << "copies running after the upgrade";
    HWND again = CalendarWindowOf(running.front());
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TextGbk(Child(again, diary::kNoteBoxId)) == shown; }, 3000));
    ASSERT_TRUE(EndThroughSavePath(running.front()));
    EXPECT_TRUE(diary::SameBytes(app.ReadTempFile(L"nts.ini"), NotesBytes(Entries{{today, shown}})));
}

INSTANTIATE_TEST_SUITE_P(
    Installer, InstallerUpgrade,
    ::testing::Values(RunningCopy{"Idle", [](HWND) {}},
                      // A modal box of its own keeps the program alive after it has saved.
                      RunningCopy{"WithItsAboutBoxOpen",
                                  [](HWND w) {
                                      PostMessageW(w, WM_SYSCOMMAND, 0x0010, 0);
                                      Pump(500);
                                  }}),
    [](const ::testing::TestParamInfo<RunningCopy>& info) { return std::string(info.param.name); });

// An upgrade keeps "start with Windows" off when it was off.
TEST(InstallerUpgradeChoice, KeepsStartWithWindowsOffWhenItWasOff) {
    ASSERT_EQ(RunToEnd(Arg(L"older-setup"), L"/S", {}), std::optional<DWORD>(0));
    HKEY run = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run), ERROR_SUCCESS);
    RegDeleteValueW(run, L"Quillidar");
    RegCloseKey(run);
    ASSERT_EQ(RunToEnd(Arg(L"setup"), L"/S", {}), std::optional<DWORD>(0));
    EXPECT_EQ(ReadRegistry(kRunKey, L"Quillidar"), kAbsent);
    EXPECT_EQ(ReadRegistry(kUninstallKey, L"DisplayVersion"), Text(Wide936(QUILL_VERSION)));
}

// ---- Uninstall ----

TEST(InstallerUninstall, SilentUninstallRemovesTheProgramAndNeverTheDiary) {
    // A folder of the user's choice, with a space and Chinese in its name.
    const std::wstring folder = LocalAppData() + L"\\My Tools\\日记 Quillidar";
    ASSERT_EQ(RunToEnd(Arg(L"setup"), L"/S /D=" + folder, {}), std::optional<DWORD>(0));
    ExpectReleaseFilesIn(folder);
    ExpectRegistry(RegistryOfInstall(folder, Wide936(QUILL_VERSION)));

    // A diary, settings and safety copies made by the installed program itself.
    QuillProcess app;
    app.SetProgram(InstalledExe(folder));
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", NotesBytes(Entries{{diary::TodayKey(), "keep me"}})));
    ASSERT_TRUE(app.Start());
    ASSERT_NE(app.WaitForWindow(), nullptr);
    ASSERT_TRUE(EndThroughSavePath(app.Pid()));
    const std::wstring safety = LocalAppData() + L"\\Quillidar";
    const std::optional<std::string> notes = app.ReadTempFile(L"nts.ini");
    const std::optional<std::string> settings = app.ReadTempFile(L"qlw.ini");
    const std::optional<FileSet> copies = FilesIn(safety);
    ASSERT_TRUE(notes && settings) << "the program saved no diary or settings";
    ASSERT_TRUE(copies && !copies->empty()) << "the program made no safety copies";

    const std::wstring uninstaller = folder + L"\\uninstall.exe";
    EXPECT_EQ(RunToEnd(uninstaller, L"/S", TempOf(app.TempDir())), std::optional<DWORD>(0));

    EXPECT_FALSE(Exists(folder)) << "left behind: " << ::testing::PrintToString(NamesIn(folder));
    EXPECT_FALSE(Exists(ShortcutPath()));
    EXPECT_EQ(ReadRegistry(kRunKey, L"Quillidar"), kAbsent);
    EXPECT_FALSE(RegistryKeyExists(kUninstallKey));
    EXPECT_EQ(app.ReadTempFile(L"nts.ini"), notes);
    EXPECT_EQ(app.ReadTempFile(L"qlw.ini"), settings);
    EXPECT_TRUE(FilesIn(safety) == copies) << "the safety folder changed";
}

} // namespace
} // namespace e2e::release
