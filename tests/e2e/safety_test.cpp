// End-to-end tests of the safety folder: the temporary folder's files deleted between runs, a killed
// run, copies of the diary damaged or from a wrong clock, another diary's journal, one copy per
// temporary folder whatever its spelling, and the time the end of the session takes with a large diary. The
// safety folder belongs to the user, not to a run, so each test moves the user's own folder aside first and
// puts it back afterwards; these tests must not run side by side.
#include "driver/files.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "safety/instance_name.h"
#include "appearance/settings_file.h"
#include "diary/date_key.h"
#include "diary/notes_file.h"
#include "files/win_file_system.h"
#include "safety/diary_keeper.h"

namespace e2e {
namespace {

constexpr int kCalendarId = 1000;
constexpr int kNoteBoxId = 1001;
constexpr DWORD kJournalWaitMs = 8000;

using driver::FilesIn;
using driver::ReadWholeFile;
using driver::WriteWholeFile;

// Every file of a folder with its bytes and the time it was last written, so that a file written again
// with the same bytes shows too.
using Files = std::map<std::wstring, std::pair<ULONGLONG, std::string>>;

Files FilesOf(std::wstring folder) {
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

std::vector<std::wstring> Journals(const std::wstring& folder, const wchar_t* prefix = L"journal-") {
    std::vector<std::wstring> journals;
    for (const std::wstring& name : FilesIn(folder)) {
        if (name.rfind(prefix, 0) == 0)
            journals.push_back(name);
    }
    return journals;
}

std::string Utf8Name(const std::wstring& name) {
    return std::string(name.begin(), name.end());
}

std::string NotesBytesOf(const std::string& text) {
    NoteMap notes;
    notes.SetNote("010120", text);
    return EncodeNotes(notes);
}

std::optional<NoteMap> Notes(const std::optional<std::string>& bytes) {
    NoteMap notes;
    if (!bytes || !DecodeNotes(*bytes, notes))
        return std::nullopt;
    return notes;
}

// Every text of the diary, one after another.
std::string Text(const NoteMap& notes) {
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
std::vector<std::string> KeptAside(const QuillProcess& app) {
    std::vector<std::string> kept;
    for (const std::wstring& name : app.TempFiles()) {
        if (name.rfind(L"nts.ini.unreadable-", 0) == 0)
            kept.push_back(app.ReadTempFile(name).value_or(""));
    }
    return kept;
}

std::string KeyOf(const SYSTEMTIME& day) {
    return DateKeyOfDate(day.wYear, day.wMonth, day.wDay);
}

// A point of the month calendar (client coordinates) that selects the day when clicked.
std::optional<POINT> PointOfDay(HANDLE process, HWND calendar, const SYSTEMTIME& day) {
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
SYSTEMTIME WeekAway(SYSTEMTIME day) {
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

Opened Open(QuillProcess& app) {
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

void TypeIntoNoteBox(const Opened& run, std::wstring_view text) {
    Click(run.note, {8, 8});
    Chord(run.window, {VK_CONTROL, VK_END});
    Type(run.window, text);
}

bool WriteSettingsAt(const QuillProcess& app, int x, int y) {
    CalendarSettings settings;
    FillDefaultSettings(settings);
    settings.m_nPosX = x;
    settings.m_nPosY = y;
    return app.WriteTempFile(L"qlw.ini", EncodeSettings(settings, kFileKey));
}

void CloseWithOk(QuillProcess& app, const Opened& run) {
    PostMessageW(run.window, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(app.WaitForExit());
}

TEST_F(Safety, DeletedTemporaryFilesComeBackFromTheCopies) {
    std::string shownText;
    RECT shownAt{};
    QuillProcess first;
    {
        const Opened run = Open(first);
        ASSERT_NE(run.note, nullptr);
        TypeIntoNoteBox(run, L" kept safe");
        Drag(run.window, {120, 10}, {160, 50});
        shownText = TextGbk(run.note);
        shownAt = WindowRect(run.window);
        ASSERT_NE(shownText.find("kept safe"), std::string::npos);
        CloseWithOk(first, run);

        EXPECT_EQ(DiaryFile(first, L"nts.ini"), first.ReadTempFile(L"nts.ini"));
        EXPECT_EQ(DiaryFile(first, L"qlw.ini"), first.ReadTempFile(L"qlw.ini"));
        SYSTEMTIME today{};
        GetLocalTime(&today);
        wchar_t dated[32];
        swprintf(dated, 32, L"nts-%04d%02d%02d.ini", today.wYear, today.wMonth, today.wDay);
        EXPECT_EQ(DiaryFile(first, dated), first.ReadTempFile(L"nts.ini"));
        EXPECT_TRUE(JournalsOf(first).empty());
        // The dated copy has bytes of its own: rewriting the safety copy in place leaves it alone.
        const HANDLE copy = CreateFileW((DiaryFolder(first) + L"nts.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(copy, INVALID_HANDLE_VALUE);
        SetFilePointer(copy, 6, nullptr, FILE_BEGIN);
        SetEndOfFile(copy);
        CloseHandle(copy);
        EXPECT_EQ(DiaryFile(first, dated), first.ReadTempFile(L"nts.ini"));
        // And a copy from a clock years ahead, of an older diary, never wins over the latest save.
        ASSERT_TRUE(
            WriteWholeFile(DiaryFolder(first) + L"nts-20990101.ini", NotesBytesOf("from a wrong clock")));
    }
    // The system cleaned the temporary folder.
    for (const std::wstring& name : first.TempFiles())
        ASSERT_TRUE(DeleteFileW((first.TempDir() + name).c_str()));
    QuillProcess second;
    second.ShareTempFolderWith(first);
    const Opened run = Open(second);
    ASSERT_NE(run.note, nullptr);
    EXPECT_EQ(TextGbk(run.note), shownText);
    const RECT at = WindowRect(run.window);
    EXPECT_EQ(at.left, shownAt.left);
    EXPECT_EQ(at.top, shownAt.top);
    CloseWithOk(second, run);
    const std::optional<NoteMap> saved = Notes(second.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(Text(*saved).find("wrong clock"), std::string::npos);
    EXPECT_EQ(DiaryFile(second, L"nts.ini"), second.ReadTempFile(L"nts.ini"));
}

TEST_F(Safety, AKilledRunGivesBackEveryFiledNoteAndTheNoteBox) {
    QuillProcess killed;
    // An empty diary in the temporary folder: the journal must win over it.
    ASSERT_TRUE(killed.WriteTempFile(L"nts.ini", std::string(4, '\0')));
    const Opened run = Open(killed);
    ASSERT_NE(run.note, nullptr);
    const std::optional<SYSTEMTIME> today = MonthCalSelection(killed.Handle(), run.calendar);
    ASSERT_TRUE(today);
    const SYSTEMTIME other = WeekAway(*today);

    TypeIntoNoteBox(run, L"alpha filed");
    const std::optional<POINT> otherAt = PointOfDay(killed.Handle(), run.calendar, other);
    ASSERT_TRUE(otherAt) << "no point of the calendar shows day " << other.wDay;
    Click(run.calendar, *otherAt);
    ASSERT_TRUE(WaitForJournal(killed, "alpha filed").size()) << "filing a note wrote no journal";
    TypeIntoNoteBox(run, L"beta typed");
    const std::wstring journal = WaitForJournal(killed, "beta typed");
    ASSERT_FALSE(journal.empty()) << "typing and pausing wrote no journal";
    killed.Kill();
    // Touched after the crash, as a backup restore or a sync client does, and stamped an hour ahead:
    // which file wins is never a matter of times.
    {
        const HANDLE temp = CreateFileW((killed.TempDir() + L"nts.ini").c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(temp, INVALID_HANDLE_VALUE);
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER ahead{{now.dwLowDateTime, now.dwHighDateTime}};
        ahead.QuadPart += 36000000000ULL;
        const FILETIME later{ahead.LowPart, ahead.HighPart};
        EXPECT_TRUE(SetFileTime(temp, nullptr, nullptr, &later));
        CloseHandle(temp);
    }

    QuillProcess next;
    next.ShareTempFolderWith(killed);
    const Opened again = Open(next);
    ASSERT_NE(again.note, nullptr);
    EXPECT_EQ(TextGbk(again.note), "alpha filed");
    EXPECT_TRUE(DiaryFile(next, journal)) << "the recovered journal went before the next save";
    const std::optional<POINT> otherAgain = PointOfDay(next.Handle(), again.calendar, other);
    ASSERT_TRUE(otherAgain);
    Click(again.calendar, *otherAgain);
    EXPECT_TRUE(WaitUntil([&] { return TextGbk(again.note) == "beta typed"; }, 2000)) << TextGbk(again.note);
    CloseWithOk(next, again);

    const std::optional<NoteMap> saved = Notes(next.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->GetNote(KeyOf(*today)), "alpha filed");
    EXPECT_EQ(saved->GetNote(KeyOf(other)), "beta typed");
    EXPECT_TRUE(JournalsOf(next).empty()) << Utf8Name(JournalsOf(next).front());
}

TEST_F(Safety, EscapeKeepsWhatWasTypedAsCloseDoes) {
    QuillProcess escaped;
    const Opened run = Open(escaped);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" journalled");
    ASSERT_FALSE(WaitForJournal(escaped, "journalled").empty());
    TypeIntoNoteBox(run, L" and escaped");
    Key(run.note, VK_ESCAPE);
    ASSERT_TRUE(escaped.WaitForExit());
    const std::optional<NoteMap> saved = Notes(escaped.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved) << "Escape threw the run away";
    EXPECT_NE(Text(*saved).find(" journalled and escaped"), std::string::npos) << Text(*saved);
    EXPECT_TRUE(escaped.ReadTempFile(L"qlw.ini"));
    EXPECT_TRUE(JournalsOf(escaped).empty());
    for (const std::wstring& name : FilesIn(DiaryFolder(escaped)))
        EXPECT_EQ(name.find(L"discarded"), std::wstring::npos) << Utf8Name(name);
}

TEST_F(Safety, SteadyTypingReachesTheJournalEveryTenSeconds) {
    QuillProcess killed;
    const Opened run = Open(killed);
    ASSERT_NE(run.note, nullptr);
    Click(run.note, {8, 8});
    Chord(run.window, {VK_CONTROL, VK_END});
    // A key every 0.1 s never leaves the two-second pause the journal otherwise waits for, and
    // comes faster than the window's check of whether the journal is due.
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; GetTickCount64() - start < 13000; ++i) {
        Type(run.window, std::wstring(1, static_cast<wchar_t>(L'a' + i % 26)));
        Pump(100);
    }
    killed.Kill();
    const std::vector<std::wstring> journals = JournalsOf(killed);
    ASSERT_EQ(journals.size(), 1u) << "nothing typed in 13 s reached the journal";
    const std::optional<std::string> journal = DiaryFile(killed, journals.front());
    ASSERT_TRUE(journal);
    EXPECT_NE(journal->find("abcdefghijklmnop"), std::string::npos);
}

TEST_F(Safety, AJournalServesOnlyItsOwnDiary) {
    QuillProcess crashed;
    const Opened a = Open(crashed);
    ASSERT_NE(a.note, nullptr);
    TypeIntoNoteBox(a, L" typed into the first diary");
    ASSERT_FALSE(WaitForJournal(crashed, "typed into the first diary").empty());
    crashed.Kill();

    // Another temporary folder is another diary: it shows and saves its own notes only.
    QuillProcess other;
    ASSERT_TRUE(other.WriteTempFile(L"nts.ini", NotesBytesOf("the second diary")));
    const Opened b = Open(other);
    ASSERT_NE(b.note, nullptr);
    CloseWithOk(other, b);
    const std::optional<NoteMap> second = Notes(other.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(second);
    EXPECT_EQ(Text(*second), "the second diary");

    QuillProcess again;
    again.ShareTempFolderWith(crashed);
    const Opened c = Open(again);
    ASSERT_NE(c.note, nullptr);
    EXPECT_NE(TextGbk(c.note).find("typed into the first diary"), std::string::npos) << TextGbk(c.note);
    CloseWithOk(again, c);
}

TEST_F(Safety, ALongTemporaryPathAndAFileWhereTheSafetyFolderShouldBeSaveAsUsual) {
    // A file stands where the safety folder goes, and the temporary folder is deep.
    ASSERT_TRUE(WriteWholeFile(m_folder, "not a folder"));
    QuillProcess app;
    std::wstring deep = app.TempDir();
    while (deep.size() < 300)
        deep += L"a-rather-long-folder-name\\";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(L"\\\\?\\" + deep), ec);
    app.UseTempDir(deep);
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" deep down");
    CloseWithOk(app, run);
    const std::optional<std::string> saved = ReadWholeFile(L"\\\\?\\" + deep + L"nts.ini");
    ASSERT_TRUE(saved) << "nothing saved in a temporary folder of " << deep.size() << " characters";
    EXPECT_NE(saved->find("deep down"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(m_folder), std::optional<std::string>("not a folder"));
    const std::wstring copies = DiaryFolderUnder(m_folder + L".safety\\", DiaryTag(FolderIdentity(deep)));
    EXPECT_EQ(ReadWholeFile(L"\\\\?\\" + copies + L"nts.ini"), saved);
    DeleteFileW(m_folder.c_str());
    std::filesystem::remove_all(m_folder + L".safety", ec);
}

// Runs the notes tool next to the program with the given temporary folder; its exit code.
std::optional<DWORD> RunTool(const std::wstring& args, const std::wstring& tempDir) {
    std::wstring exe = QuillidarPath();
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"quillidar-notes.exe";
    std::wstring temp = tempDir;
    temp.pop_back();
    std::vector<wchar_t> env = driver::EnvironmentBlock({{L"TMP", temp}, {L"TEMP", temp}});
    std::wstring cmdLine = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), cmdLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, env.data(), nullptr, &si, &pi))
        return std::nullopt;
    CloseHandle(pi.hThread);
    std::optional<DWORD> code;
    if (WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        if (GetExitCodeProcess(pi.hProcess, &exit))
            code = exit;
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hProcess);
    return code;
}

TEST_F(Safety, TheNotesToolWritesIntoNoRunningDiaryWhateverItsSpelling) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TempFolder elsewhere;
    ASSERT_TRUE(elsewhere.Write(
        L"in.json", R"({"format": "quillidar-notes", "version": 1, "notes": [{"date": "2020-01-01", )"
                    R"("key": "010120", "text": "imported"}]})"));
    const std::wstring dir = app.TempDir();
    std::wstring lower = dir;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    const std::wstring parent = dir.substr(0, dir.find_last_of(L'\\', dir.size() - 2) + 1);
    const std::wstring leaf = dir.substr(parent.size());
    std::vector<std::wstring> spellings = {dir + L"nts.ini", L"\\\\?\\" + dir + L"nts.ini",
                                           lower + L"NTS.INI", dir + L"..\\" + leaf + L"nts.ini"};
    // The same folder through a drive letter of its own, and by its short name, where the system has them.
    const bool mapped = DefineDosDeviceW(0, L"Q:", parent.substr(0, parent.size() - 1).c_str()) != 0;
    if (mapped)
        spellings.push_back(L"Q:\\" + leaf + L"nts.ini");
    wchar_t shortName[MAX_PATH] = {};
    const DWORD shortSize = GetShortPathNameW(dir.c_str(), shortName, MAX_PATH);
    if (shortSize > 0 && shortSize < MAX_PATH && std::wstring(shortName) != dir)
        spellings.push_back(std::wstring(shortName) + L"nts.ini");
    for (const std::wstring& into : spellings) {
        SCOPED_TRACE(Utf8Name(into));
        const std::optional<DWORD> code = RunTool(
            L"import \"" + elsewhere.Path() + L"in.json\" --into \"" + into + L"\"", elsewhere.Path());
        ASSERT_TRUE(code);
        EXPECT_NE(*code, 0u) << "an import into the running widget's diary was let through";
    }
    if (mapped)
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    std::cout << "[ spellings ] " << spellings.size() << " (drive letter "
              << (mapped ? "mapped" : "not mapped") << ")\n";
    EXPECT_FALSE(app.ReadTempFile(L"nts.ini")) << "the tool wrote under the running widget";
    CloseWithOk(app, run);
    // Once the widget is gone the same import goes through.
    EXPECT_EQ(RunTool(L"import \"" + elsewhere.Path() + L"in.json\" --into \"" + dir + L"nts.ini\"",
                      elsewhere.Path()),
              std::optional<DWORD>(0));
}

TEST_F(Safety, ASecondStartCallsTheRunningCopyForwardAndTouchesNoFile) {
    QuillProcess first;
    // Both files there, for the second start to leave alone.
    ASSERT_TRUE(WriteSettingsAt(first, 200, 150));
    ASSERT_TRUE(first.WriteTempFile(L"nts.ini", std::string(4, '\0')));
    const Opened a = Open(first);
    ASSERT_NE(a.note, nullptr);
    TypeIntoNoteBox(a, L" from first");
    ASSERT_FALSE(WaitForJournal(first, "from first").empty());

    RECT covered = WindowRect(a.window);
    InflateRect(&covered, 20, 20);
    CoverWindow cover(covered);
    ASSERT_NE(cover.Get(), nullptr);
    const POINT middle{(covered.left + covered.right) / 2, (covered.top + covered.bottom) / 2};
    auto onTop = [&] { return GetAncestor(WindowFromPoint(middle), GA_ROOT); };
    ASSERT_TRUE(BringToFront(cover.Get()));
    ASSERT_TRUE(WaitUntil([&] { return onTop() == cover.Get(); }, 2000))
        << "the cover does not cover the window";

    const Files tempBefore = FilesOf(first.TempDir());
    const Files safetyBefore = FilesOf(DiaryFolder(first));
    ASSERT_EQ(tempBefore.size(), 2u);
    ASSERT_FALSE(safetyBefore.empty()) << "the first copy's journal";

    QuillProcess second;
    second.ShareTempFolderWith(first);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_LT(GetTickCount64() - start, ULONGLONG{quill::kWaitForRunningMs})
        << "the second start waited as if the first had no window";
    EXPECT_EQ(second.ExitCode(), std::optional<DWORD>(0));
    EXPECT_TRUE(second.ShownWindows().empty()) << "the second start showed a window";
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == a.window && onTop() == a.window; }, 3000))
        << "the first copy's window did not come forward";
    EXPECT_EQ(FilesOf(first.TempDir()), tempBefore);
    EXPECT_EQ(FilesOf(DiaryFolder(first)), safetyBefore);

    PostMessageW(a.window, WM_COMMAND, 56, 0);
    ASSERT_TRUE(first.WaitForExit());
    const std::optional<std::string> saved = first.ReadTempFile(L"nts.ini");
    ASSERT_TRUE(saved);
    EXPECT_NE(saved->find("from first"), std::string::npos);
    EXPECT_EQ(DiaryFile(first, L"nts.ini"), saved);
    EXPECT_TRUE(JournalsOf(first).empty()) << Utf8Name(JournalsOf(first).front());
}

TEST_F(Safety, TwoStartsAtOnceOnOneFolderShowOneWindow) {
    QuillProcess one;
    QuillProcess other;
    other.ShareTempFolderWith(one);
    ASSERT_TRUE(one.Start());
    ASSERT_TRUE(other.Start());
    // Whichever took the folder shows its window; the other waits for it, calls it and ends.
    ASSERT_TRUE(
        WaitUntil([&] { return !one.Running() || !other.Running(); }, quill::kWaitForRunningMs + 5000))
        << "both starts are still running";
    QuillProcess& running = one.Running() ? one : other;
    QuillProcess& ended = one.Running() ? other : one;
    HWND window = running.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ended.ShownWindows().empty()) << "the start that gave way showed a window";
    Key(window, VK_ESCAPE);
    EXPECT_TRUE(running.WaitForExit());
    // One diary, saved once: the start that gave way wrote nothing beside it.
    for (const std::wstring& name : running.TempFiles())
        EXPECT_TRUE(name == L"nts.ini" || name == L"qlw.ini") << Utf8Name(name);
}

TEST_F(Safety, CopiesOnDifferentTemporaryFoldersRunSideBySide) {
    QuillProcess first;
    QuillProcess second;
    // Apart on the screen, so that each copy is typed into.
    ASSERT_TRUE(WriteSettingsAt(first, 20, 20));
    ASSERT_TRUE(WriteSettingsAt(second, 400, 300));
    const Opened a = Open(first);
    ASSERT_NE(a.note, nullptr);
    const Opened b = Open(second);
    ASSERT_NE(b.note, nullptr);
    TypeIntoNoteBox(a, L" in the first folder");
    TypeIntoNoteBox(b, L" in the second folder");
    ASSERT_TRUE(first.Running());
    CloseWithOk(first, a);
    CloseWithOk(second, b);

    const std::optional<std::string> firstNotes = first.ReadTempFile(L"nts.ini");
    const std::optional<std::string> secondNotes = second.ReadTempFile(L"nts.ini");
    ASSERT_TRUE(firstNotes && secondNotes);
    EXPECT_NE(firstNotes->find("in the first folder"), std::string::npos);
    EXPECT_EQ(firstNotes->find("in the second folder"), std::string::npos);
    EXPECT_NE(secondNotes->find("in the second folder"), std::string::npos);
    EXPECT_EQ(secondNotes->find("in the first folder"), std::string::npos);
}

TEST_F(Safety, EndOfSessionSavesAHundredYearDiaryWellWithinTheSystemsFiveSeconds) {
    constexpr int kNotes = 36500;
    NoteMap diary;
    for (int i = 0; i < kNotes; ++i) {
        const std::int64_t day = 86400LL * (i + 1);
        diary.Append({DateKeyOfInstant(day + 43200),
                      "Note number " + std::to_string(i) + ": a day's lines of about this length.\r\n"});
    }
    const std::string bytes = EncodeNotes(diary);
    QuillProcess app;
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", bytes));
    const Opened run = Open(app);
    ASSERT_NE(run.window, nullptr);
    TypeIntoNoteBox(run, L" and one more");

    DWORD_PTR result = 0;
    const ULONGLONG start = GetTickCount64();
    const LRESULT answered =
        SendMessageTimeoutW(run.window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 20000, &result);
    const ULONGLONG ms = GetTickCount64() - start;
    ASSERT_NE(answered, 0) << "WM_ENDSESSION was not answered";
    std::cout << "[ timing ] WM_ENDSESSION with " << kNotes << " notes (" << bytes.size() << " bytes): " << ms
              << " ms\n";
    RecordProperty("end_session_ms", static_cast<int>(ms));
    EXPECT_LT(ms, 5000u);
    ASSERT_TRUE(app.WaitForExit());
    const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_GE(saved->size(), static_cast<std::size_t>(kNotes) - 1);
    EXPECT_EQ(DiaryFile(app, L"nts.ini"), app.ReadTempFile(L"nts.ini"));
}

// Seven notes: the bytes after the count, and the files made of them with wrong counts.
std::string SevenEntries() {
    NoteMap seven;
    for (int day = 1; day <= 7; ++day)
        seven.Append({DateKeyOfDate(2020, 1, day), "entry " + std::to_string(day)});
    return EncodeNotes(seven).substr(4);
}

struct HeldMoreCase {
    const char* name;
    std::string file;
    SIZE_T memoryLimit;
};

TEST_F(Safety, AFileThatHoldsMoreThanWasLoadedIsCopiedAsideBeforeTheSave) {
    std::string big = SevenEntries();
    // Eight megabytes of real entries behind a forged count: the decoder must not reserve for it.
    for (int i = 0; big.size() < (8u << 20); ++i) {
        big.push_back('\x06');
        big.append(DateKeyOfDate(1990, 1 + i % 12, 1 + i % 28));
        big.append("\xFF\x00\x10", 3);
        big.append(4096, 'z');
    }
    const HeldMoreCase cases[] = {
        {"forged count, limited memory", "\xFF\xFF\xFF\x7F" + big, 160u << 20},
    };
    for (const HeldMoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        QuillProcess app;
        app.SetMemoryLimit(c.memoryLimit);
        ASSERT_TRUE(app.WriteTempFile(L"nts.ini", c.file));
        const Opened run = Open(app);
        ASSERT_NE(run.note, nullptr);
        // Set-up ran to its end: the window was placed and the clock is ticking in its strip.
        EXPECT_GT(WindowRect(run.window).left, 0);
        TypeIntoNoteBox(run, L" typed today");
        CloseWithOk(app, run);
        EXPECT_EQ(KeptAside(app), std::vector<std::string>{c.file});
        const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
        ASSERT_TRUE(saved);
        EXPECT_NE(Text(*saved).find("typed today"), std::string::npos);
        TearDown();
        SetUp();
    }
}

TEST_F(Safety, AFileHeldAtStartIsWaitedForThenTakenFromTheCopyAndKeptAside) {
    NoteMap copy;
    copy.SetNote("010120", "from the safety copy");
    for (const DWORD heldMs : {1000u, 5000u}) {
        SCOPED_TRACE(heldMs);
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(m_folder + L"\\nts.ini", EncodeNotes(copy)));
        QuillProcess app;
        const std::string temp = NotesBytesOf("from the temporary folder");
        ASSERT_TRUE(app.WriteTempFile(L"nts.ini", temp));
        Opened run;
        {
            FileHolder holder(app.TempDir() + L"nts.ini", heldMs);
            run = Open(app);
            ASSERT_NE(run.note, nullptr);
        }
        const bool waited = heldMs < 2000;
        CloseWithOk(app, run);
        const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
        ASSERT_TRUE(saved);
        EXPECT_EQ(Text(*saved), waited ? "from the temporary folder" : "from the safety copy");
        EXPECT_EQ(KeptAside(app), waited ? std::vector<std::string>{} : std::vector<std::string>{temp});
        TearDown();
        SetUp();
    }
}

TEST_F(Safety, AFileHeldAtTheSaveIsSavedByTheNextRunAndNothingIsLeftBeside) {
    QuillProcess first;
    const Opened run = Open(first);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" while held");
    {
        ASSERT_TRUE(first.WriteTempFile(L"nts.ini", NotesBytesOf("the old diary")));
        FileHolder holder(first.TempDir() + L"nts.ini", 3000);
        CloseWithOk(first, run);
    }
    EXPECT_EQ(Text(*Notes(first.ReadTempFile(L"nts.ini"))), "the old diary");

    QuillProcess next;
    next.ShareTempFolderWith(first);
    const Opened again = Open(next);
    ASSERT_NE(again.note, nullptr);
    EXPECT_NE(TextGbk(again.note).find("while held"), std::string::npos) << TextGbk(again.note);
    CloseWithOk(next, again);
    EXPECT_NE(Text(*Notes(next.ReadTempFile(L"nts.ini"))).find("while held"), std::string::npos);
    for (const std::wstring& name : next.TempFiles())
        EXPECT_EQ(name.find(L".new-"), std::wstring::npos) << "left beside: " << Utf8Name(name);
}

TEST_F(Safety, ATemporaryFolderRemovedWhileRunningIsMadeAgainForTheSave) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" after the clean-up");
    std::wstring folder = app.TempDir();
    folder.pop_back();
    for (const std::wstring& name : app.TempFiles())
        DeleteFileW((app.TempDir() + name).c_str());
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    CloseWithOk(app, run);
    const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved) << "the save was lost with its folder";
    EXPECT_NE(Text(*saved).find("after the clean-up"), std::string::npos);
}

// The journal's folder taken away while the window runs, by a clean-up tool removing the whole
// safety folder, or so that it cannot be written again: typing after it still reaches a journal
// (the folder made again, or the next safety folder), and the start after a crash shows it.
TEST_F(Safety, TypingAfterTheSafetyFolderIsRemovedOrBlockedSurvivesACrash) {
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "cannot be made again" : "removed");
        QuillProcess killed;
        const Opened run = Open(killed);
        ASSERT_NE(run.note, nullptr);
        TypeIntoNoteBox(run, L"before");
        ASSERT_FALSE(WaitForJournal(killed, "before").empty());
        const std::wstring diary = DiaryFolder(killed);
        std::wstring withoutSeparator = diary;
        withoutSeparator.pop_back();
        std::error_code ec;
        std::filesystem::remove_all(blocked ? withoutSeparator : m_folder, ec);
        ASSERT_FALSE(ec) << ec.message();
        if (blocked) {
            // A file where the folder was: the folder cannot be made again, as with one turned
            // read-only, which Wine's folders cannot be.
            HANDLE blocker = CreateFileW(withoutSeparator.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
            CloseHandle(blocker);
        }
        TypeIntoNoteBox(run, L" and after");
        // Found wherever the journal went: its own folder made again, or the next safety folder.
        const std::wstring other =
            DiaryFolderUnder(m_folder + L".safety\\", DiaryTag(FolderIdentity(killed.TempDir())));
        EXPECT_TRUE(WaitUntil(
            [&] {
                for (const std::wstring& folder : {diary, other}) {
                    for (const std::wstring& name : Journals(folder)) {
                        const std::optional<std::string> bytes = ReadWholeFile(folder + name);
                        if (bytes && bytes->find("before and after") != std::string::npos)
                            return true;
                    }
                }
                return false;
            },
            kJournalWaitMs))
            << "the typing after the folder went reached no journal";
        killed.Kill();

        QuillProcess next;
        next.ShareTempFolderWith(killed);
        const Opened again = Open(next);
        ASSERT_NE(again.note, nullptr);
        EXPECT_NE(TextGbk(again.note).find("before and after"), std::string::npos) << TextGbk(again.note);
        CloseWithOk(next, again);
        std::filesystem::remove_all(m_folder, ec);
        std::filesystem::remove_all(m_folder + L".safety", ec);
    }
}

// Text an input tool puts into the note box with WM_SETTEXT, with no key after it, reaches the
// journal as typing does.
TEST_F(Safety, TextPutIntoTheNoteBoxWithoutAKeyIsJournalled) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    SendMessageW(run.note, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"put in by a tool"));
    EXPECT_FALSE(WaitForJournal(app, "put in by a tool").empty())
        << "text put in without a key was not journalled";
    app.Kill();
}

} // namespace
} // namespace e2e
