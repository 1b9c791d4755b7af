// The programs the release ships, as Explorer and the loader see them: their VERSIONINFO and
// application manifest, and that none of them runs a DLL planted next to it.
//   --program=PATH   once per shipped program (the build passes them all)
#include "release_helpers.h"
#include "driver/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "identity.h"

namespace e2e::release {
namespace {

std::vector<std::wstring> Programs() {
    return Args(L"program");
}

std::wstring CopyOf(const std::wstring& program, const TempFolder& folder) {
    const std::wstring copy = folder.Path() + FileNameOf(program);
    if (!CopyFileW(program.c_str(), copy.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy " << Utf8(program);
    return copy;
}

// What the window program shows in its About box and the tool prints: each shipped file describes
// itself.
std::string DescriptionOf(const std::wstring& program) {
    return FileNameOf(program) == L"Quillidar.exe" ? QUILL_DESCRIPTION : QUILL_NOTES_DESCRIPTION;
}

bool IsConsoleProgram(const std::wstring& program) {
    const std::optional<std::string> bytes = driver::ReadWholeFile(program);
    if (!bytes || bytes->size() < sizeof(IMAGE_DOS_HEADER))
        return false;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes->data());
    if (static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > bytes->size())
        return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes->data() + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

TEST(Programs, TheBuildNamesTheWindowProgram) {
    bool found = false;
    for (const std::wstring& p : Programs())
        found = found || FileNameOf(p) == L"Quillidar.exe";
    EXPECT_TRUE(found) << "no --program=...Quillidar.exe given";
}

TEST(Programs, CarryTheReleaseVersionInfo) {
    constexpr WORD kNumbers[] = {QUILL_VERSION_NUMBERS};
    for (const std::wstring& program : Programs()) {
        SCOPED_TRACE(Utf8(program));
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no VERSIONINFO";
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, info.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT len = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(kNumbers[0] << 16 | kNumbers[1]));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(kNumbers[2] << 16 | kNumbers[3]));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        struct Field {
            const wchar_t* name;
            std::string expected; // GBK, as the identity's texts are compiled here
        };
        const Field fields[] = {
            {L"ProductName", QUILL_PRODUCT_NAME},
            {L"ProductVersion", QUILL_VERSION},
            {L"FileVersion", QUILL_VERSION},
            {L"CompanyName", QUILL_PUBLISHER},
            {L"LegalCopyright", QUILL_COPYRIGHT},
            {L"FileDescription", DescriptionOf(program)},
            {L"OriginalFilename", ToGbk(FileNameOf(program))},
        };
        for (const Field& field : fields) {
            wchar_t* value = nullptr;
            const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + field.name;
            const bool present =
                VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &len);
            ASSERT_TRUE(present && value) << Utf8(field.name) << " is missing";
            EXPECT_EQ(ToGbk(value), field.expected) << Utf8(field.name);
        }
    }
}

TEST(Programs, CarryAnAsInvokerManifestForWindows7To11WithoutVisualStyles) {
    struct Expect {
        const char* text;
        bool present;
    };
    const Expect expectations[] = {
        {"level=\"asInvoker\"", true},
        {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", true}, // 7
        {"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", true}, // 8
        {"{1f676c76-80e1-4239-95bb-83d0f6d0da78}", true}, // 8.1
        {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", true}, // 10 and 11
        // Common controls 6 would draw the calendar and the note box in the system's style.
        {"Microsoft.Windows.Common-Controls", false},
        {"requireAdministrator", false},
    };
    for (const std::wstring& program : Programs()) {
        SCOPED_TRACE(Utf8(program));
        HMODULE image = LoadLibraryExW(program.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(image, nullptr);
        HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
        std::string manifest;
        if (found) {
            const char* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
            manifest.assign(data, SizeofResource(image, found));
        }
        FreeLibrary(image);
        ASSERT_FALSE(manifest.empty()) << "no application manifest (resource 1 of type RT_MANIFEST)";
        for (const Expect& e : expectations)
            EXPECT_EQ(manifest.find(e.text) != std::string::npos, e.present) << e.text;
    }
}

// Without this, a program showing no marker would prove nothing: the markers are planted as the
// tests below plant them, next to a program that loads each name the plain way, and every one runs.
TEST(DllSearch, MarkersRunNextToACarelessProgram) {
    TempFolder folder;
    ASSERT_TRUE(PlantMarkers(folder.Path(), PlantedDllNames()));
    const std::wstring probe = CopyOf(ProbePath(), folder);
    std::wstring names;
    for (const std::wstring& name : PlantedDllNames())
        names += L" " + name;
    WindowsLoadOrder order(FileNameOf(probe));
    ASSERT_TRUE(RunToEnd(probe, names.substr(1), {}, kWaitMs));
    std::vector<std::wstring> expected = PlantedDllNames();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(MarkersThatRan(folder.Path()), expected);
    std::cout << "[ markers  ] loaded from a program's folder by the system's own DLLs here, so not planted "
                 "next to the shipped programs: "
              << ::testing::PrintToString(MarkersOfAnyProgram()) << "\n";
}

// A copy unpacked into Downloads, with DLLs of the same names as Windows' lying next to it (and Wine
// told to prefer them there, as Windows does): none of them may run inside the program.
TEST(DllSearch, NoPlantedDllRunsInAShippedProgram) {
    for (const std::wstring& program : Programs()) {
        SCOPED_TRACE(Utf8(program));
        TempFolder folder;
        ASSERT_TRUE(PlantMarkers(folder.Path(), MarkersToPlant()));
        const std::wstring copy = CopyOf(program, folder);
        WindowsLoadOrder order(FileNameOf(copy));
        if (IsConsoleProgram(copy)) {
            // Any run loads what the tool needs; without arguments it explains itself and ends.
            EXPECT_TRUE(RunToEnd(copy, L"", {}, kWaitMs));
        } else {
            QuillProcess app;
            app.SetProgram(copy);
            ASSERT_TRUE(app.Start());
            HWND window = app.WaitForWindow();
            ASSERT_NE(window, nullptr);
            // What the window loads once it is shown (the tray icon, the first paints) loads by now.
            Pump(500);
            ASSERT_TRUE(EndThroughSavePath(app.Pid()));
        }
        EXPECT_EQ(MarkersThatRan(folder.Path()), std::vector<std::wstring>{});
    }
}

} // namespace
} // namespace e2e::release
