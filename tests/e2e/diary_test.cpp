// End-to-end tests of the diary: the greeting of a first start, notes filed as the selection moves,
// bold days, the keys that move the day, midnight, and what a close, Escape or Alt+F4 saves.
#include "diary_run.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace e2e::diary {
namespace {

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
