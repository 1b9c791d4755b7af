// End-to-end tests of the diary: the greeting of a first start, notes filed as the selection moves,
// bold days, what reaches "nts.ini" on close and what a cancel or a damaged file leaves behind.
#include "diary_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e::diary {
namespace {

// One run of the program and its two diary controls.
class DiaryRun : public ControlsRun {
  public:
    DiaryRun() = default;
    // A later start in the same temporary folder.
    explicit DiaryRun(const DiaryRun& earlier) : ControlsRun(earlier) {}

    std::optional<std::string> File(const wchar_t* name) const { return m_app.ReadTempFile(name); }

    // Puts the caret at the end of the note box.
    bool FocusNote() {
        if (!BringToFront(window))
            return false;
        const RECT box = ClientRect(note);
        Click(note, {box.right / 2, box.bottom / 2});
        if (!WaitUntil([&] { return FocusedWindow(window) == note; }, 2000)) {
            ADD_FAILURE() << "a click into the note box did not give it the focus";
            return false;
        }
        return Chord(window, {VK_CONTROL, VK_END});
    }

    bool TypeNote(std::wstring_view text) { return FocusNote() && Type(window, text); }

    // Tab keys move the focus out of the note box, so a tab reaches a note the way users put one
    // there: pasted.
    bool PasteNote(std::wstring_view text) {
        if (!FocusNote() || !OpenClipboard(nullptr))
            return false;
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (mem) {
            auto* p = static_cast<wchar_t*>(GlobalLock(mem));
            std::copy(text.begin(), text.end(), p);
            p[text.size()] = L'\0';
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_UNICODETEXT, mem))
                GlobalFree(mem);
        }
        CloseClipboard();
        return Chord(window, {VK_CONTROL, 'V'});
    }

    bool ClearNote() {
        return FocusNote() && Chord(window, {VK_CONTROL, VK_SHIFT, VK_HOME}) && Key(window, VK_DELETE);
    }

    // Moves the selection with an arrow key on the month calendar. A calendar that takes no keys (Wine's)
    // gets a click on the day instead.
    bool Select(const SYSTEMTIME& day, WORD arrow) {
        const std::string before = Note();
        for (int i = 0; i < 3 && FocusedWindow(window) != calendar; ++i)
            Chord(window, {VK_SHIFT, VK_TAB});
        if (FocusedWindow(window) != calendar) {
            ADD_FAILURE() << "Shift+Tab did not reach the month calendar";
            return false;
        }
        if (Note() != before) {
            ADD_FAILURE() << "Shift+Tab changed the note";
            return false;
        }
        Key(window, arrow);
        std::optional<SYSTEMTIME> now = Selection();
        if (now && SameDay(*now, day)) {
            s_keyboardMoves = true;
            return true;
        }
        s_clickMoves = true;
        std::optional<RECT> cell = DayCell(m_app.Handle(), calendar, day);
        if (!cell) {
            ADD_FAILURE() << "day " << day.wDay << " is not on the calendar";
            return false;
        }
        Click(calendar, {(cell->left + cell->right) / 2, (cell->top + cell->bottom) / 2});
        now = Selection();
        if (!now || !SameDay(*now, day)) {
            ADD_FAILURE() << "neither the arrow key nor a click selected day " << day.wDay;
            return false;
        }
        return true;
    }

    // The ink of a day's cell once the calendar has painted everything asked of it so far.
    int DayInk(const SYSTEMTIME& day) {
        Settle(window);
        WaitUntil([&] { return !GetUpdateRect(calendar, nullptr, FALSE); }, 2000);
        Pump(50);
        std::optional<RECT> cell = DayCell(m_app.Handle(), calendar, day);
        if (!cell) {
            ADD_FAILURE() << "day " << day.wDay << " is not on the calendar";
            return -1;
        }
        return Ink(calendar, *cell);
    }

    // The context menu's "关闭": the OK path.
    bool Close() {
        PostMessageW(window, WM_COMMAND, kCloseCommand, 0);
        return m_app.WaitForExit();
    }

    bool Cancel() { return Key(window, VK_ESCAPE) && m_app.WaitForExit(); }

    static inline bool s_keyboardMoves = false;
    static inline bool s_clickMoves = false;
};

// Bold against plain of the same cell in the same state: the measured bold numbers hold about
// two and a half times the contrast of plain ones.
::testing::AssertionResult Bolder(int bold, int plain) {
    if (plain > 0 && bold * 4 >= plain * 5)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ink " << bold << " is not clearly more than plain " << plain;
}

class Diary : public ::testing::Test {
  protected:
    SafetyFolderAside m_safety;
};

TEST_F(Diary, FirstStartGreetsWithTodayBoldAndAnEmptyListStartsEmpty) {
    const SYSTEMTIME today = Today();
    const std::string key = TodayKey();

    DiaryRun empty;
    ASSERT_TRUE(empty.App().WriteTempFile(L"nts.ini", std::string(4, '\0')));
    ASSERT_TRUE(empty.Start());
    EXPECT_EQ(empty.Note(), "") << "a count of zero is a list, not a first start";
    const int plain = empty.DayInk(today);
    ASSERT_TRUE(empty.Close());
    EXPECT_TRUE(SameBytes(empty.File(L"nts.ini"), std::string(4, '\0')));

    m_safety.Clear();
    DiaryRun first;
    ASSERT_TRUE(first.Start());
    EXPECT_EQ(first.Note(), kGreeting);
    EXPECT_TRUE(Bolder(first.DayInk(today), plain)) << "today is not bold";
    ASSERT_TRUE(first.Close());
    // Written out rather than encoded: the one-note file byte by byte.
    EXPECT_TRUE(
        SameBytes(first.File(L"nts.ini"), std::string("\x01\x00\x00\x00\x06", 5) + key + "\x10" + kGreeting));
}

TEST_F(Diary, TypedNoteIsFiledWhenTheSelectionMovesAndSurvivesRestart) {
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);
    const std::string key = TodayKey();

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", std::string(4, '\0')));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.Select(next.day, next.toward));
    const int plain = run.DayInk(today);
    ASSERT_TRUE(run.Select(today, next.back));

    ASSERT_TRUE(run.TypeNote(L"今天下雨 a=b\nline 2"));
    ASSERT_TRUE(run.PasteNote(L"\tx=\"y\"\t"));
    const std::string text = "\xBD\xF1\xCC\xEC\xCF\xC2\xD3\xEA a=b\r\nline 2\tx=\"y\"\t";
    EXPECT_EQ(run.Note(), text);

    ASSERT_TRUE(run.Select(next.day, next.toward));
    EXPECT_EQ(run.Note(), "") << "the next day shows the note just typed";
    EXPECT_TRUE(Bolder(run.DayInk(today), plain)) << "the day of the new note is not bold";
    ASSERT_TRUE(run.Select(today, next.back));
    EXPECT_EQ(run.Note(), text);

    ASSERT_TRUE(run.Close());
    const std::string expected = NotesBytes({{key, text}});
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), expected));

    DiaryRun again(run);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Note(), text);
    ASSERT_TRUE(again.Close());
    EXPECT_TRUE(SameBytes(again.File(L"nts.ini"), expected));
}

TEST_F(Diary, BlankNotesAreDeletedAndTheirDaysLoseTheBoldFace) {
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini",
                                        NotesBytes({{TodayKey(), "today's"}, {KeyOf(next.day), "next"}})));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Note(), "today's");
    const int nextBold = run.DayInk(next.day);

    ASSERT_TRUE(run.Select(next.day, next.toward));
    EXPECT_EQ(run.Note(), "next");
    const int todayBold = run.DayInk(today);
    ASSERT_TRUE(run.ClearNote());

    ASSERT_TRUE(run.Select(today, next.back));
    EXPECT_TRUE(Bolder(nextBold, run.DayInk(next.day))) << "the cleared day is still bold";
    ASSERT_TRUE(run.ClearNote());
    ASSERT_TRUE(run.TypeNote(L"  \n \n  "));

    ASSERT_TRUE(run.Select(next.day, next.toward));
    EXPECT_EQ(run.Note(), "") << "the cleared note came back";
    EXPECT_TRUE(Bolder(todayBold, run.DayInk(today))) << "a day holding only white space is still bold";
    ASSERT_TRUE(run.Select(today, next.back));
    EXPECT_EQ(run.Note(), "") << "white space was kept as a note";

    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), std::string(4, '\0')));
}

// The calendar also reports the day already shown: its "today" link does, and Wine's calendar does so
// every two minutes on its own. Typing must go on where it was.
TEST_F(Diary, ReportOfTheShownDayLeavesTheCaretWhereItWas) {
    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", NotesBytes({{TodayKey(), "abc"}})));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.TypeNote(L"def"));
    std::optional<RECT> link = TodayLink(run.App().Handle(), run.calendar);
    ASSERT_TRUE(link.has_value()) << "the calendar shows no today link";
    Click(run.calendar, {(link->left + link->right) / 2, (link->top + link->bottom) / 2});
    if (FocusedWindow(run.window) == run.note)
        ASSERT_TRUE(Type(run.window, L"ghi"));
    else
        ASSERT_TRUE(run.TypeNote(L"ghi"));
    EXPECT_EQ(run.Note(), "abcdefghi");
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{TodayKey(), "abcdefghi"}})));
}

// The note box's selection as (start, end).
std::pair<int, int> NoteSelection(HWND note) {
    DWORD_PTR packed = 0;
    SendMessageTimeoutW(note, EM_GETSEL, 0, 0, SMTO_NORMAL, kWaitMs, &packed);
    return {static_cast<int>(LOWORD(packed)), static_cast<int>(HIWORD(packed))};
}

// The dialog manager selects an edit box's whole text when the focus arrives by Tab or by the
// window's activation, and the next key then replaced the note. A click keeps its point; Ctrl+A
// selects all.
TEST_F(Diary, FocusArrivingInTheNoteBoxSelectsNothing) {
    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", NotesBytes({{TodayKey(), "abc"}})));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(BringToFront(run.window));
    auto toCalendar = [&] {
        for (int i = 0; i < 3 && FocusedWindow(run.window) != run.calendar; ++i)
            Chord(run.window, {VK_SHIFT, VK_TAB});
        return FocusedWindow(run.window) == run.calendar;
    };
    const std::pair<int, int> atEnd{3, 3};

    ASSERT_TRUE(toCalendar());
    for (int i = 0; i < 3 && FocusedWindow(run.window) != run.note; ++i)
        Key(run.window, VK_TAB);
    ASSERT_EQ(FocusedWindow(run.window), run.note) << "Tab did not reach the note box";
    EXPECT_EQ(NoteSelection(run.note), atEnd) << "Tab";
    ASSERT_TRUE(Type(run.window, L"d"));
    EXPECT_EQ(run.Note(), "abcd") << "the key after a Tab replaced the note";

    ASSERT_TRUE(Chord(run.window, {VK_CONTROL, 'A'}));
    EXPECT_EQ(NoteSelection(run.note), std::make_pair(0, 4)) << "Ctrl+A";
    EXPECT_EQ(run.Note(), "abcd") << "Ctrl+A typed a character";

    // Another window comes forward, then this one again: its focus comes back to the note box.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 80, 40, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    Pump(200);
    ASSERT_TRUE(BringToFront(run.window));
    WaitUntil([&] { return FocusedWindow(run.window) == run.note; }, 2000);
    DestroyWindow(other);
    EXPECT_EQ(FocusedWindow(run.window), run.note);
    EXPECT_EQ(NoteSelection(run.note), std::make_pair(4, 4)) << "the window coming forward";

    // A click at the very start of the text, with the focus elsewhere: the caret goes there.
    ASSERT_TRUE(toCalendar());
    Click(run.note, {2, 2});
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(run.window) == run.note; }, 2000));
    EXPECT_EQ(NoteSelection(run.note), std::make_pair(0, 0)) << "a click";
    ASSERT_TRUE(Type(run.window, L"_"));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{TodayKey(), "_abcd"}})));
}

SYSTEMTIME DaysFrom(const SYSTEMTIME& day, int days) {
    SYSTEMTIME midnight{day.wYear, day.wMonth, 0, day.wDay, 0, 0, 0, 0};
    FILETIME ft{};
    SystemTimeToFileTime(&midnight, &ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 86400LL * 10000000LL);
    ft = {t.LowPart, t.HighPart};
    SYSTEMTIME out{};
    FileTimeToSystemTime(&ft, &out);
    return out;
}

// Ctrl+Left and Ctrl+Right (a day), Ctrl+Up and Ctrl+Down (a week), Ctrl+Home (today), in the note
// box and in the month calendar alike (Wine's takes no arrows of its own), filing as a click does.
TEST_F(Diary, CtrlArrowsAndHomeMoveTheDayFromEitherControl) {
    const SYSTEMTIME today = Today();
    const std::string todayKey = KeyOf(today);
    const std::string tomorrow = KeyOf(DaysFrom(today, 1));
    const std::string yesterday = KeyOf(DaysFrom(today, -1));
    const std::string nextWeek = KeyOf(DaysFrom(today, 7));
    const std::string weekBefore = KeyOf(DaysFrom(today, -8));
    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(
        L"nts.ini",
        NotesBytes(
            {{todayKey, "t"}, {tomorrow, "n"}, {yesterday, "y"}, {nextWeek, "w"}, {weekBefore, "b"}})));
    ASSERT_TRUE(run.Start());
    struct Step {
        WORD key;
        int from; // today's offset the selection is expected at afterwards
        const char* note;
    };
    auto walk = [&](const char* where, std::initializer_list<Step> steps) {
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(where) + ", key " + std::to_string(step.key));
            ASSERT_TRUE(Chord(run.window, {VK_CONTROL, step.key}));
            std::optional<SYSTEMTIME> selected = run.Selection();
            ASSERT_TRUE(selected.has_value());
            EXPECT_TRUE(SameDay(*selected, DaysFrom(today, step.from)));
            EXPECT_EQ(run.Note(), step.note);
        }
    };
    ASSERT_TRUE(run.FocusNote());
    walk("note box", {{VK_RIGHT, 1, "n"}});
    ASSERT_TRUE(Chord(run.window, {VK_CONTROL, VK_END}));
    ASSERT_TRUE(Type(run.window, L"N"));
    EXPECT_EQ(FocusedWindow(run.window), run.note) << "the key took the focus from the note box";
    walk("note box", {{VK_LEFT, 0, "t"}, {VK_DOWN, 7, "w"}, {VK_HOME, 0, "t"}, {VK_RIGHT, 1, "nN"}});

    for (int i = 0; i < 3 && FocusedWindow(run.window) != run.calendar; ++i)
        Chord(run.window, {VK_SHIFT, VK_TAB});
    ASSERT_EQ(FocusedWindow(run.window), run.calendar);
    walk("calendar", {{VK_LEFT, 0, "t"}, {VK_LEFT, -1, "y"}, {VK_UP, -8, "b"}, {VK_HOME, 0, "t"}});
    EXPECT_EQ(FocusedWindow(run.window), run.calendar);

    ASSERT_TRUE(run.Close());
    const std::optional<std::string> saved = run.File(L"nts.ini");
    ASSERT_TRUE(saved.has_value());
    EXPECT_NE(saved->find(Counted(tomorrow) + Counted("nN")), std::string::npos) << Hex(*saved);
    EXPECT_NE(saved->find(Counted(todayKey) + Counted("t")), std::string::npos) << Hex(*saved);
}

// A window left open over midnight, under a clock that starts seconds before it (the e2e.midnight
// entry runs this suite under faketime and names the evening's date in QUILL_FAKE_EVENING): untouched,
// the window moves to the new day; with typing not yet filed, it stays on the day being written.
class Midnight : public Diary {
  protected:
    void SetUp() override {
        const char* evening = std::getenv("QUILL_FAKE_EVENING");
        int y = 0, m = 0, d = 0;
        if (!evening || std::sscanf(evening, "%d-%d-%d", &y, &m, &d) != 3)
            GTEST_SKIP() << "the clock is not faked: run through the e2e.midnight entry";
        m_evening =
            SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(m), 0, static_cast<WORD>(d), 0, 0, 0, 0};
        m_morning = DaysFrom(m_evening, 1);
    }
    // The notes of both days, and a run whose clock is still on the evening.
    bool StartBeforeMidnight(DiaryRun& run) {
        if (!run.App().WriteTempFile(L"nts.ini",
                                     NotesBytes({{KeyOf(m_evening), "eve"}, {KeyOf(m_morning), "morn"}})))
            return false;
        if (!run.Start())
            return false;
        if (run.Note() != "eve") {
            ADD_FAILURE() << "the program started after midnight of its clock: " << run.Note();
            return false;
        }
        return true;
    }
    SYSTEMTIME m_evening{};
    SYSTEMTIME m_morning{};
};

TEST_F(Midnight, AnUntouchedWindowMovesToTheNewDay) {
    DiaryRun run;
    ASSERT_TRUE(StartBeforeMidnight(run));
    ASSERT_TRUE(WaitUntil([&] { return run.Note() == "morn"; }, 40000)) << "still showing " << run.Note();
    std::optional<SYSTEMTIME> selected = run.Selection();
    ASSERT_TRUE(selected.has_value());
    EXPECT_TRUE(SameDay(*selected, m_morning));
    ASSERT_TRUE(run.TypeNote(L"+"));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"),
                          NotesBytes({{KeyOf(m_evening), "eve"}, {KeyOf(m_morning), "morn+"}})));
}

TEST_F(Midnight, TypingAcrossMidnightStaysOnItsDay) {
    DiaryRun run;
    ASSERT_TRUE(StartBeforeMidnight(run));
    ASSERT_TRUE(run.TypeNote(L"abc"));
    // Well past the program's midnight: its clock started about 15 seconds before.
    Pump(25000);
    EXPECT_EQ(run.Note(), "eveabc");
    std::optional<SYSTEMTIME> selected = run.Selection();
    ASSERT_TRUE(selected.has_value());
    EXPECT_TRUE(SameDay(*selected, m_evening)) << "the selection left the day being written";
    ASSERT_TRUE(Chord(run.window, {VK_CONTROL, VK_RIGHT}));
    EXPECT_EQ(run.Note(), "morn");
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"),
                          NotesBytes({{KeyOf(m_evening), "eveabc"}, {KeyOf(m_morning), "morn"}})));
}

// Escape and Alt+F4 end the widget as "关闭" does: the same two files, byte for byte, from the same
// typing. Ending without a save lost the note just typed.
TEST_F(Diary, EscapeAndAltF4SaveAsCloseDoes) {
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);
    const std::string notes = SampleFile("nts_one_note.bin");
    const std::string settings = SampleFile("qlw_defaults_400_300.bin");

    struct Ending {
        const char* name;
        std::function<bool(DiaryRun&)> end;
    };
    const Ending endings[] = {
        {"close command", [](DiaryRun& r) { return r.Close(); }},
        {"Escape", [](DiaryRun& r) { return r.Cancel(); }},
        {"Alt+F4",
         [](DiaryRun& r) {
             return Chord(r.window, {VK_MENU, VK_F4}) && r.App().WaitForExit();
         }},
    };
    std::optional<std::string> closedNotes, closedSettings;
    for (const Ending& e : endings) {
        SCOPED_TRACE(e.name);
        DiaryRun run;
        ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", notes));
        ASSERT_TRUE(run.App().WriteTempFile(L"qlw.ini", settings));
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.TypeNote(L"留下 me"));
        ASSERT_TRUE(run.Select(next.day, next.toward));
        ASSERT_TRUE(run.TypeNote(L"and me"));
        ASSERT_TRUE(e.end(run));

        const std::optional<std::string> saved = run.File(L"nts.ini");
        ASSERT_TRUE(saved.has_value());
        EXPECT_NE(*saved, notes) << "the typing was not saved";
        if (!closedNotes) {
            closedNotes = saved;
            closedSettings = run.File(L"qlw.ini");
            continue;
        }
        EXPECT_TRUE(SameBytes(saved, *closedNotes));
        EXPECT_TRUE(SameBytes(run.File(L"qlw.ini"), *closedSettings));
    }
}

// A notes file as found at start, what the note box shows, and what "关闭" leaves in "nts.ini" when
// nothing was touched. Keys of days that never come (day 32 and up) keep today's note out of the way.
struct FileCase {
    const char* name;
    std::function<std::string(const std::string& todayKey)> file;
    std::function<std::string(const std::string& todayKey)> shown;
    std::function<std::string(const std::string& todayKey)> saved;
    // Kept aside under a name of its own before the save replaces it: damaged, or holding bytes
    // after the entries its count announced.
    bool unreadable;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

std::string LongText() {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i)
        text += "\xC8\xD5\xBC\xC7 line " + std::to_string(i) + " a=b\t\r\n";
    return text;
}

auto Fixed(std::string bytes) {
    return [bytes](const std::string&) { return bytes; };
}
auto Sample(const char* name) {
    return [name](const std::string&) { return SampleFile(name); };
}
auto GreetingOnly() {
    return [](const std::string& key) { return NotesBytes({{key, kGreeting}}); };
}

class DiaryFile : public ::testing::TestWithParam<FileCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryFile, LoadsAndSavesAsExpected) {
    const FileCase& c = GetParam();
    const std::string key = TodayKey();
    const std::string original = c.file(key);

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", original));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Note(), c.shown(key));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), c.saved(key)));

    std::vector<std::wstring> copies;
    for (const std::wstring& name : run.App().TempFiles()) {
        if (name.starts_with(L"nts.ini.unreadable-")) {
            copies.push_back(name);
            EXPECT_TRUE(SameBytes(run.File(name.c_str()), original)) << "copy " << ToGbk(name);
        }
    }
    EXPECT_EQ(copies.size(), c.unreadable ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryFile,
    ::testing::Values(
        FileCase{"CountThreeWithTwoEntries", Sample("e2e_count3_two_entries.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"ThirtyTwoBitLengthPastTheEnd", Sample("e2e_huge_length32.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"SixtyFourBitLengthTooBig", Sample("e2e_length64_too_big.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"TooShortForTheCount", Fixed(std::string("\x01\x00\x00", 3)), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"NegativeCountIsAnEmptyList",
                 Fixed("\xFF\xFF\xFF\xFF\x06"
                       "320126\x01x"),
                 Fixed(""), Fixed(std::string(4, '\0')), true},
        FileCase{"CountOneOfSeven",
                 Fixed(std::string("\x01\x00\x00\x00", 4) + NotesBytes({{"320126", "e1"},
                                                                        {"330126", "e2"},
                                                                        {"340126", "e3"},
                                                                        {"350126", "e4"},
                                                                        {"360126", "e5"},
                                                                        {"370126", "e6"},
                                                                        {"380126", "e7"}})
                                                                .substr(4)),
                 Fixed(""), Fixed(NotesBytes({{"320126", "e1"}})), true},
        FileCase{"WideTaggedAreSavedNarrow", Sample("e2e_wide_tagged.bin"), Fixed(""),
                 Fixed(NotesBytes({{"320126", "narrow"},
                                   {"330126", "\xBF\xED\xD7\xD6\xB7\xFB note"},
                                   {"340126", "\xBA\xF3"}})),
                 false},
        FileCase{"ZeroByteCutsAndTrailingBytesGo", Sample("e2e_zero_byte_and_tail.bin"), Fixed(""),
                 Fixed(NotesBytes({{"320126", "ab"}, {"330126", "\xCE\xB2\xB0\xCD=tail"}})), true},
        FileCase{"DuplicatesOfTodayBecomeTheFirstOneFiledLast",
                 [](const std::string& key) {
                     return NotesBytes({{key, "first"}, {"320126", "x"}, {key, ""}, {key, "third"}});
                 },
                 Fixed("first"),
                 [](const std::string& key) {
                     return NotesBytes({{"320126", "x"}, {key, "first"}});
                 },
                 false},
        FileCase{"TabsLineBreaksAndEqualsSigns",
                 [](const std::string& key) {
                     return NotesBytes({{key, "a=b\tc\r\n\r\n\"d\"=\te\r\n"}});
                 },
                 Fixed("a=b\tc\r\n\r\n\"d\"=\te\r\n"),
                 [](const std::string& key) {
                     return NotesBytes({{key, "a=b\tc\r\n\r\n\"d\"=\te\r\n"}});
                 },
                 false},
        FileCase{"LongNoteOfTodayIsKeptWhole",
                 [](const std::string& key) {
                     return NotesBytes({{key, LongText()}});
                 },
                 Fixed(LongText()),
                 [](const std::string& key) {
                     return NotesBytes({{key, LongText()}});
                 },
                 false}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// Notes longer than the edit control takes by default, put there the two ways a user does.
struct LongCase {
    const char* name;
    std::size_t stored; // characters of today's note in the file at start
    std::size_t pasted;
    std::wstring_view typed;
};

void PrintTo(const LongCase& c, std::ostream* os) {
    *os << c.name;
}

// Hanzi, ASCII and line breaks, cut to exactly `length` characters.
std::wstring LongWide(std::size_t length, wchar_t tag) {
    std::wstring text;
    for (int i = 0; text.size() < length; ++i)
        text += std::wstring(1, tag) + L"日记第" + std::to_wstring(i) + L"行 a=b\r\n";
    text.resize(length);
    if (text.back() == L'\r')
        text.back() = L'.';
    return text;
}

class DiaryLongNote : public ::testing::TestWithParam<LongCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryLongNote, IsKeptToTheLastCharacter) {
    const LongCase& c = GetParam();
    const std::string key = TodayKey();
    const std::wstring stored = LongWide(c.stored, L'S');
    const std::wstring pasted = LongWide(c.pasted, L'P');

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", c.stored ? NotesBytes({{key, ToGbk(stored)}})
                                                             : std::string(4, '\0')));
    ASSERT_TRUE(run.Start());
    ASSERT_EQ(TextW(run.note).size(), stored.size());
    if (!pasted.empty()) {
        ASSERT_TRUE(run.PasteNote(pasted));
    }
    if (!c.typed.empty()) {
        ASSERT_TRUE(run.TypeNote(c.typed));
    }
    const std::wstring expected = stored + pasted + std::wstring(c.typed);
    const std::wstring shown = TextW(run.note);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << "the note box does not hold every character";
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{key, ToGbk(expected)}})));
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryLongNote,
    ::testing::Values(LongCase{"PasteOf40000Characters", 0, 40000, L""},
                      LongCase{"TypingIntoALoaded50000CharacterNote", 50000, 0, L"\u5B8C!"}),
    [](const ::testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });

// Bytes that read as something else than they are: shown as well as they can be, and written back
// untouched when nobody edits them, after the selection has been away and back.
struct KeptBytesCase {
    const char* name;
    std::string bytes;
    std::wstring shown;
};

void PrintTo(const KeptBytesCase& c, std::ostream* os) {
    *os << c.name;
}

class DiaryKeptBytes : public ::testing::TestWithParam<KeptBytesCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryKeptBytes, UneditedNoteIsWrittenBackAsItWasRead) {
    const KeptBytesCase& c = GetParam();
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);
    // In the order the filing leaves them in: today's note is filed last, at the close.
    const std::string file = NotesBytes({{KeyOf(next.day), "next \xC8\xD5"}, {TodayKey(), c.bytes}});

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", file));
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(TextW(run.note) == c.shown) << "shown as " << ToGbk(TextW(run.note));
    ASSERT_TRUE(run.Select(next.day, next.toward));
    EXPECT_EQ(run.Note(), "next \xC8\xD5");
    ASSERT_TRUE(run.Select(today, next.back));
    EXPECT_TRUE(TextW(run.note) == c.shown);
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), file));
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryKeptBytes,
    ::testing::Values(KeptBytesCase{"LeadByteBeforeASpace", "ab\x81 cd", L"ab\xFFFD cd"},
                      KeptBytesCase{"LeadByteAtTheEnd", "ab\x81", L"ab\xFFFD"},
                      KeptBytesCase{"ByteFF", "x\xFFy", L"x\xFFFDy"},
                      KeptBytesCase{"FourByteControlCharacter", "\x81\x30\x81\x30", L"\x0080"},
                      // U+E76C, whose own code is A2 E3: saving it anew would change the bytes.
                      KeptBytesCase{"SecondCodeOfACharacter", "\x83\x36\xC7\x39", L"\xE76C"}),
    [](const ::testing::TestParamInfo<KeptBytesCase>& info) { return std::string(info.param.name); });

// Characters GBK lacks are saved in their GB18030 codes and come back as they were typed.
TEST_F(Diary, CharactersBeyondGbkSurviveSaveAndRestart) {
    const std::string key = TodayKey();
    const std::wstring typed = L"日记 \U0001F600 한국어 \u01F9 €";
    const std::string bytes = "\xC8\xD5\xBC\xC7 "
                              "\x94\x39\xFC\x36 "
                              "\x83\x36\x84\x33\x82\x37\xF4\x30\x83\x32\xEB\x35 "
                              "\xA8\xBF "
                              "\x80";

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", std::string(4, '\0')));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.TypeNote(typed));
    ASSERT_TRUE(TextW(run.note) == typed) << "typed as " << ToGbk(TextW(run.note));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{key, bytes}})));

    DiaryRun again(run);
    ASSERT_TRUE(again.Start());
    EXPECT_TRUE(TextW(again.note) == typed) << "shown as " << ToGbk(TextW(again.note));
    ASSERT_TRUE(again.Close());
    EXPECT_TRUE(SameBytes(again.File(L"nts.ini"), NotesBytes({{key, bytes}})));
}

// Which way the selection moved, for whoever reads the log: Wine's month calendar takes no keys.
class ReportSelectionPath : public ::testing::Environment {
  public:
    void TearDown() override {
        if (DiaryRun::s_clickMoves)
            std::printf("note: the month calendar ignored arrow keys; days were selected by clicking\n");
    }
};
const auto* const kReport = ::testing::AddGlobalTestEnvironment(new ReportSelectionPath);
} // namespace
} // namespace e2e::diary
