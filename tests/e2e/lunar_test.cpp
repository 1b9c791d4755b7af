// End-to-end tests of the lunar view under the real program: the grid in the calendar's place, its
// keys and wheel filing notes through the calendar's selection change, the switch of views keeping the
// day and the note, its name for a screen reader, the settings file untouched, and the tooltip.
#include "diary_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <optional>
#include <string>

namespace e2e::diary {
namespace {

constexpr WPARAM kLunarCommand = 51; // the context menu's "农历"
constexpr wchar_t kGridClass[] = L"QuillidarLunarGrid";
const std::string kLunarOn = "[view]\r\nlunar=1\r\n";

class LunarRun {
  public:
    LunarRun() = default;
    explicit LunarRun(const LunarRun& earlier) { m_app.ShareTempFolderWith(earlier.m_app); }

    bool Start() {
        if (!m_app.Start())
            return false;
        window = m_app.WaitForWindow();
        if (!window)
            return false;
        calendar = Child(window, kCalendarId);
        note = Child(window, kNoteBoxId);
        if (!calendar || !note) {
            ADD_FAILURE() << "the calendar window lacks its month calendar or note box";
            return false;
        }
        return Settle(window);
    }
    HWND Grid() const { return FindWindowExW(window, nullptr, kGridClass, nullptr); }
    QuillProcess& App() { return m_app; }
    std::string Note() const { return TextGbk(note); }
    std::optional<SYSTEMTIME> Selection() const { return MonthCalSelection(m_app.Handle(), calendar); }
    bool Toggle() {
        PostMessageW(window, WM_COMMAND, kLunarCommand, 0);
        return Settle(window);
    }
    // The grid takes the focus where the calendar had it; Shift+Tab reaches it from the note box.
    bool FocusGrid() {
        if (!BringToFront(window))
            return false;
        for (int i = 0; i < 3 && FocusedWindow(window) != Grid(); ++i)
            Chord(window, {VK_SHIFT, VK_TAB});
        if (FocusedWindow(window) != Grid()) {
            ADD_FAILURE() << "the focus did not reach the lunar grid";
            return false;
        }
        return true;
    }
    bool Close() {
        PostMessageW(window, WM_COMMAND, kCloseCommand, 0);
        return m_app.WaitForExit();
    }

    HWND window = nullptr;
    HWND calendar = nullptr;
    HWND note = nullptr;

  private:
    QuillProcess m_app;
};

SYSTEMTIME Shifted(const SYSTEMTIME& day, int days) {
    FILETIME ft{};
    SystemTimeToFileTime(&day, &ft);
    ULARGE_INTEGER t{};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days) * 864000000000LL);
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    SYSTEMTIME out{};
    FileTimeToSystemTime(&ft, &out);
    return out;
}

class Lunar : public ::testing::Test {
  protected:
    SafetyFolderAside m_safety;
};

TEST_F(Lunar, KeysAndWheelMoveTheDayAndFileNotesAsTheCalendarDoes) {
    const SYSTEMTIME today = Today();
    LunarRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"qlw_view.ini", kLunarOn));
    ASSERT_TRUE(run.Start());
    const HWND grid = run.Grid();
    ASSERT_TRUE(grid) << "the view's file chose the lunar view, and no grid was made";
    EXPECT_TRUE(IsWindowVisible(grid));
    EXPECT_FALSE(IsWindowVisible(run.calendar));
    EXPECT_EQ(run.Note(), kGreeting);
    // Its name is the selected day's, with the note it has: what a screen reader says at the focus.
    const std::string name = TextGbk(grid);
    const std::string date = std::to_string(today.wYear) + "\xC4\xEA" + std::to_string(today.wMonth) +
                             "\xD4\xC2" + std::to_string(today.wDay) + "\xC8\xD5"; // 年 月 日
    EXPECT_EQ(name.rfind(date, 0), 0u) << name;
    EXPECT_NE(name.find("\xD3\xD0\xC8\xD5\xBC\xC7"), std::string::npos) << "no 有日记 in " << name;

    ASSERT_TRUE(run.FocusGrid());
    struct Step {
        WORD key;
        SYSTEMTIME day;
        std::string note;
    } steps[] = {
        {VK_RIGHT, Shifted(today, 1), ""}, {VK_DOWN, Shifted(today, 8), ""},
        {VK_LEFT, Shifted(today, 7), ""},  {VK_UP, Shifted(today, 0), kGreeting},
        {VK_UP, Shifted(today, -7), ""},   {VK_HOME, today, kGreeting},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(Key(run.window, step.key));
        const std::optional<SYSTEMTIME> now = run.Selection();
        ASSERT_TRUE(now);
        EXPECT_TRUE(SameDay(*now, step.day))
            << "key " << step.key << " gave " << now->wMonth << "/" << now->wDay;
        EXPECT_EQ(run.Note(), step.note) << "key " << step.key;
    }
    ASSERT_TRUE(Key(run.window, VK_NEXT));
    std::optional<SYSTEMTIME> now = run.Selection();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->wMonth, today.wMonth % 12 + 1) << "Page Down is the next month";
    // A notch of the wheel toward the user is the next month, away from the user the month before.
    PostMessageW(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(0, 0));
    ASSERT_TRUE(Settle(run.window));
    now = run.Selection();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->wMonth, today.wMonth) << "the wheel turned back a month";
    ASSERT_TRUE(Key(run.window, VK_HOME));

    // The other view keeps the day and what was typed.
    ASSERT_TRUE(run.Toggle());
    EXPECT_TRUE(IsWindowVisible(run.calendar));
    EXPECT_FALSE(IsWindowVisible(grid));
    now = run.Selection();
    ASSERT_TRUE(now);
    EXPECT_TRUE(SameDay(*now, today));
    EXPECT_EQ(run.Note(), kGreeting);
    ASSERT_TRUE(run.Toggle());
    EXPECT_TRUE(IsWindowVisible(grid));
    ASSERT_TRUE(run.Close());
    EXPECT_EQ(run.App().ReadTempFile(L"qlw_view.ini"), kLunarOn);
}

TEST_F(Lunar, TheSwitchLeavesTheSettingsFileAsItWas) {
    LunarRun plain;
    ASSERT_TRUE(plain.Start());
    EXPECT_FALSE(plain.Grid()) << "the default window made a grid it does not show";
    ASSERT_TRUE(plain.Close());
    const std::optional<std::string> before = plain.App().ReadTempFile(L"qlw.ini");
    ASSERT_TRUE(before);

    LunarRun switched(plain);
    ASSERT_TRUE(switched.Start());
    const LONG height = Height(WindowRect(switched.window));
    ASSERT_TRUE(switched.Toggle());
    ASSERT_TRUE(switched.Grid());
    EXPECT_GE(Height(WindowRect(switched.window)), height) << "the window shrank for the grid";
    ASSERT_TRUE(switched.Close());
    EXPECT_TRUE(SameBytes(switched.App().ReadTempFile(L"qlw.ini"), *before));
    EXPECT_EQ(switched.App().ReadTempFile(L"qlw_view.ini"), kLunarOn);
}

// The tooltip over a day of the month calendar and of the grid: shown, and never over that day.
TEST_F(Lunar, TheTooltipShowsBesideTheDayUnderThePointer) {
    const SYSTEMTIME today = Today();
    LunarRun run;
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(BringToFront(run.window));
    auto tipShown = [&]() -> std::optional<RECT> {
        for (HWND w : run.App().TopLevelWindows()) {
            if (ClassName(w) == L"tooltips_class32" && IsWindowVisible(w))
                return WindowRect(w);
        }
        return std::nullopt;
    };
    const std::optional<RECT> cell = DayCell(run.App().Handle(), run.calendar, today);
    ASSERT_TRUE(cell);
    POINT at = ToScreen(run.calendar, {(cell->left + cell->right) / 2, (cell->top + cell->bottom) / 2});
    MoveTo({at.x - 1, at.y});
    MoveTo(at);
    ASSERT_TRUE(WaitUntil([&] { return tipShown().has_value(); }, 3000)) << "no tooltip over today";
    const RECT tip = *tipShown();
    RECT day = *cell;
    const POINT topLeft = ToScreen(run.calendar, {day.left, day.top});
    const POINT bottomRight = ToScreen(run.calendar, {day.right, day.bottom});
    day = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    RECT overlap{};
    EXPECT_FALSE(IntersectRect(&overlap, &tip, &day)) << "the tooltip covers the day it describes";

    ASSERT_TRUE(run.Toggle());
    const HWND grid = run.Grid();
    ASSERT_TRUE(grid);
    const RECT area = ClientRect(grid);
    MoveTo(ToScreen(grid, {area.right / 2, area.bottom / 2}));
    MoveTo(ToScreen(grid, {area.right / 2 + 1, area.bottom / 2}));
    EXPECT_TRUE(WaitUntil([&] { return tipShown().has_value(); }, 3000)) << "no tooltip over the grid";
    MoveTo({0, 0});
    ASSERT_TRUE(run.Close());
}

} // namespace
} // namespace e2e::diary
