// What the safety folder's end-to-end tests share: the user's safety folder moved aside for each
// test, the diary's folder and journals as the program finds them, and one run of the window.
#pragma once

#include "driver/files.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "appearance/settings_file.h"
#include "diary/date_key.h"
#include "diary/notes_file.h"
#include "files/win_file_system.h"
#include "safety/diary_keeper.h"
#include "safety/instance_name.h"

namespace e2e::safety {

constexpr int kCalendarId = 1000;
constexpr int kNoteBoxId = 1001;
constexpr DWORD kJournalWaitMs = 8000;

using driver::FilesIn;
using driver::ReadWholeFile;
using driver::WriteWholeFile;

// Every file of a folder with its bytes and the time it was last written, so that a file written again
// with the same bytes shows too.
using Files = std::map<std::wstring, std::pair<ULONGLONG, std::string>>;

inline Files FilesOf(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    Files files;
    for (const std::wstring& name : FilesIn(folder)) {
        const std::wstring path = folder + L"\\" + name;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        const ULONGLONG written =
            (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
        files[name] = {written, ReadWholeFile(path).value_or("(unreadable)")};
    }
    return files;
}

inline std::vector<std::wstring> Journals(const std::wstring& folder, const wchar_t* prefix = L"journal-") {
    std::vector<std::wstring> journals;
    for (const std::wstring& name : FilesIn(folder)) {
        if (name.rfind(prefix, 0) == 0)
            journals.push_back(name);
    }
    return journals;
}

inline std::string Utf8Name(const std::wstring& name) {
    return std::string(name.begin(), name.end());
}

inline std::string NotesBytesOf(const std::string& text) {
    NoteMap notes;
    notes.SetNote("010120", text);
    return EncodeNotes(notes);
}

inline std::optional<NoteMap> Notes(const std::optional<std::string>& bytes) {
    NoteMap notes;
    if (!bytes || !DecodeNotes(*bytes, notes))
        return std::nullopt;
    return notes;
}

// Every text of the diary, one after another.
inline std::string Text(const NoteMap& notes) {
    std::string all;
    for (const NoteEntry& entry : notes)
        all += entry.m_strText;
    return all;
}

// Holds a file open without sharing, as a backup or an indexer would, from now for `ms`.
class FileHolder {
  public:
    FileHolder(const std::wstring& path, DWORD ms) {
        m_file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(m_file, INVALID_HANDLE_VALUE) << "cannot hold the file";
        m_release = std::thread([this, ms] {
            Sleep(ms);
            CloseHandle(m_file);
        });
    }
    ~FileHolder() { m_release.join(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

  private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::thread m_release;
};

// The files a save copied aside before replacing what it could not fully load.
inline std::vector<std::string> KeptAside(const QuillProcess& app) {
    std::vector<std::string> kept;
    for (const std::wstring& name : app.TempFiles()) {
        if (name.rfind(L"nts.ini.unreadable-", 0) == 0)
            kept.push_back(app.ReadTempFile(name).value_or(""));
    }
    return kept;
}

inline std::string KeyOf(const SYSTEMTIME& day) {
    return DateKeyOfDate(day.wYear, day.wMonth, day.wDay);
}

// A point of the month calendar (client coordinates) that selects the day when clicked.
inline std::optional<POINT> PointOfDay(HANDLE process, HWND calendar, const SYSTEMTIME& day) {
    const RECT client = ClientRect(calendar);
    for (LONG y = 2; y < client.bottom; y += 5) {
        for (LONG x = 2; x < client.right; x += 7) {
            MCHITTESTINFO hit{};
            hit.cbSize = sizeof hit;
            hit.pt = {x, y};
            if (!SendRemote(process, calendar, MCM_HITTEST, 0, &hit, sizeof hit))
                return std::nullopt;
            if (hit.uHit == MCHT_CALENDARDATE && hit.st.wYear == day.wYear && hit.st.wMonth == day.wMonth &&
                hit.st.wDay == day.wDay)
                return POINT{x + 1, y + 1};
        }
    }
    return std::nullopt;
}

// A day of the shown month a week away from the given one.
inline SYSTEMTIME WeekAway(SYSTEMTIME day) {
    day.wDay = static_cast<WORD>(day.wDay <= 14 ? day.wDay + 7 : day.wDay - 7);
    return day;
}

class Safety : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = SafetyFolderPath();
        ASSERT_FALSE(m_folder.empty()) << "the system names no local application-data folder";
        m_aside = m_folder + L".e2e-aside-" + std::to_wstring(GetCurrentProcessId());
        if (GetFileAttributesW(m_folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ASSERT_TRUE(MoveFileW(m_folder.c_str(), m_aside.c_str()))
                << "cannot move the user's folder aside";
            m_movedAside = true;
        }
    }

    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        if (m_movedAside) {
            EXPECT_TRUE(MoveFileW(m_aside.c_str(), m_folder.c_str())) << "the user's folder was not put back";
        }
    }

    // The diary's own safety folder, found the way the program finds it: from what the file system
    // says its temporary folder is.
    std::wstring DiaryFolder(const QuillProcess& app) const {
        return DiaryFolderUnder(m_folder + L"\\", DiaryTag(FolderIdentity(app.TempDir())));
    }

    std::optional<std::string> DiaryFile(const QuillProcess& app, const std::wstring& name) const {
        return ReadWholeFile(DiaryFolder(app) + name);
    }

    std::vector<std::wstring> JournalsOf(const QuillProcess& app) const {
        std::vector<std::wstring> journals;
        for (const std::wstring& name : Journals(DiaryFolder(app))) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, L".qjl") == 0)
                journals.push_back(name);
        }
        return journals;
    }

    // Waits for the run's journal to hold the text; returns its name.
    std::wstring WaitForJournal(const QuillProcess& app, const std::string& text) const {
        const std::wstring prefix = L"journal-" + std::to_wstring(app.Pid()) + L"-";
        std::wstring found;
        WaitUntil(
            [&] {
                for (const std::wstring& name : JournalsOf(app)) {
                    if (name.rfind(prefix, 0) != 0)
                        continue;
                    const std::optional<std::string> bytes = DiaryFile(app, name);
                    if (bytes && bytes->find(text) != std::string::npos) {
                        found = name;
                        return true;
                    }
                }
                return false;
            },
            kJournalWaitMs);
        return found;
    }

    std::wstring m_folder;
    std::wstring m_aside;
    bool m_movedAside = false;
};

struct Opened {
    HWND window = nullptr;
    HWND calendar = nullptr;
    HWND note = nullptr;
};

inline Opened Open(QuillProcess& app) {
    Opened run;
    if (!app.Start())
        return run;
    run.window = app.WaitForWindow();
    if (!run.window)
        return run;
    run.calendar = Child(run.window, kCalendarId);
    run.note = Child(run.window, kNoteBoxId);
    return run;
}

inline void TypeIntoNoteBox(const Opened& run, std::wstring_view text) {
    Click(run.note, {8, 8});
    Chord(run.window, {VK_CONTROL, VK_END});
    Type(run.window, text);
}

inline bool WriteSettingsAt(const QuillProcess& app, int x, int y) {
    CalendarSettings settings;
    FillDefaultSettings(settings);
    settings.m_nPosX = x;
    settings.m_nPosY = y;
    return app.WriteTempFile(L"qlw.ini", EncodeSettings(settings, kFileKey));
}

inline void CloseWithOk(QuillProcess& app, const Opened& run) {
    PostMessageW(run.window, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(app.WaitForExit());
}

} // namespace e2e::safety
