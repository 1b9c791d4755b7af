// End-to-end tests of the application shell: the hidden owner, the calendar window's layout, and the
// three ways the program ends.
#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace e2e {
namespace {

constexpr int kCalendarId = 1000;
constexpr int kNoteBoxId = 1001;

::testing::AssertionResult SameRect(const RECT& actual, const RECT& expected) {
    if (EqualRect(&actual, &expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << actual.left << "," << actual.top << ")-(" << actual.right << "," << actual.bottom
           << "), expected (" << expected.left << "," << expected.top << ")-(" << expected.right << ","
           << expected.bottom << ")";
}

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        // A pointer resting where the window appears (a new session puts it in the screen's middle)
        // shows the day's tooltip, a top-level window of its own: it waits in the corner.
        MoveTo({0, 0});
        ASSERT_TRUE(m_app.Start());
        m_window = m_app.WaitForWindow();
        ASSERT_NE(m_window, nullptr);
    }

    QuillProcess m_app;
    HWND m_window = nullptr;
};

TEST_F(Shell, WindowIsBorderlessAtTheTemplateSizeForItsFont) {
    const LONG_PTR style = GetWindowLongPtrW(m_window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME), 0) << std::hex << style;

    const SIZE expected = DialogSizeToPixels(206, 169);
    const RECT window = WindowRect(m_window);
    const RECT client = ClientRect(m_window);
    EXPECT_EQ(Width(window), expected.cx);
    EXPECT_EQ(Height(window), expected.cy);
    EXPECT_EQ(Width(client), Width(window)) << "a frame takes part of the window";
    EXPECT_EQ(Height(client), Height(window)) << "a frame takes part of the window";

    HWND calendar = Child(m_window, kCalendarId);
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(ClassName(calendar), L"SysMonthCal32");
    EXPECT_TRUE(GetWindowLongPtrW(calendar, GWL_STYLE) & MCS_WEEKNUMBERS);
    EXPECT_TRUE(SameRect(RectInParent(calendar), DialogUnitsToPixels(1, 15, 204, 97)));
}

TEST_F(Shell, OwnerNeverShowsAndTheCalendarWindowIsOwned) {
    HWND owner = GetWindow(m_window, GW_OWNER);
    ASSERT_NE(owner, nullptr) << "an unowned pop-up gets a taskbar button";
    DWORD ownerPid = 0;
    GetWindowThreadProcessId(owner, &ownerPid);
    EXPECT_EQ(ownerPid, m_app.Pid());
    EXPECT_FALSE(IsWindowVisible(owner));
    EXPECT_FALSE(GetWindowLongPtrW(m_window, GWL_EXSTYLE) & WS_EX_APPWINDOW) << "forces a taskbar button";

    for (HWND w : m_app.TopLevelWindows()) {
        if (w != m_window) {
            EXPECT_FALSE(IsWindowVisible(w))
                << "a second visible top-level window, class " << ToGbk(ClassName(w));
        }
    }
    // The record of shown windows also holds a window shown and hidden again during start-up.
    Pump(200);
    EXPECT_TRUE(m_app.WasShown(m_window))
        << "the show of the calendar window went unseen, so the owner's proves nothing";
    EXPECT_FALSE(m_app.WasShown(owner)) << "the owner was shown";
}

TEST_F(Shell, CalendarHasTheFocusAndTodayIsSelected) {
    HWND calendar = Child(m_window, kCalendarId);
    ASSERT_NE(calendar, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(m_window) == calendar; }, 2000))
        << "focus is on " << ToGbk(ClassName(FocusedWindow(m_window)));

    SYSTEMTIME before{}, after{};
    GetLocalTime(&before);
    std::optional<SYSTEMTIME> selected = MonthCalSelection(m_app.Handle(), calendar);
    GetLocalTime(&after);
    ASSERT_TRUE(selected.has_value()) << "the calendar has no selection";
    auto sameDay = [&](const SYSTEMTIME& a) {
        return a.wYear == selected->wYear && a.wMonth == selected->wMonth && a.wDay == selected->wDay;
    };
    EXPECT_TRUE(sameDay(before) || sameDay(after))
        << "selected " << selected->wYear << "-" << selected->wMonth << "-" << selected->wDay << ", today is "
        << before.wYear << "-" << before.wMonth << "-" << before.wDay;
}

TEST_F(Shell, NoteBoxReachesThirteenPixelsBelowItsTemplateRectangle) {
    HWND note = Child(m_window, kNoteBoxId);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(ClassName(note), L"Edit");
    RECT expected = DialogUnitsToPixels(1, 114, 204, 46);
    expected.bottom += 13;
    EXPECT_TRUE(SameRect(RectInParent(note), expected));
}

// Each way the window can be closed, and whether it may leave files behind.
struct Ending {
    const char* name;
    std::function<void(HWND window)> act;
    bool writesNothing;
};

void PrintTo(const Ending& e, std::ostream* os) {
    *os << e.name;
}

class ShellEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(ShellEnding, EndsTheProcess) {
    QuillProcess app;
    ASSERT_TRUE(app.Start());
    HWND window = app.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND calendar = Child(window, kCalendarId);
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(window) == calendar; }, 2000));

    GetParam().act(window);

    ASSERT_TRUE(app.WaitForExit());
    EXPECT_TRUE(app.TopLevelWindows().empty());
    if (GetParam().writesNothing) {
        EXPECT_TRUE(app.TempFiles().empty()) << "the cancel path wrote into the temporary folder";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shell, ShellEnding,
    ::testing::Values(Ending{"EscapeSavesAndEnds", [](HWND w) { Key(w, VK_ESCAPE); }, false},
                      Ending{"EnterOnTheCalendarIsOk", [](HWND w) { Key(w, VK_RETURN); }, false},
                      Ending{"EndSessionWithoutQueryIsOk",
                             [](HWND w) {
                                 DWORD_PTR result = 0;
                                 SendMessageTimeoutW(w, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, kWaitMs,
                                                     &result);
                             },
                             false}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

bool SendSession(HWND w, UINT msg, WPARAM wParam, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(w, msg, wParam, 0, SMTO_NORMAL, kWaitMs, result ? result : &ignored) != 0;
}

bool FileHolds(const QuillProcess& app, const wchar_t* name, std::string_view text) {
    const std::optional<std::string> bytes = app.ReadTempFile(name);
    return bytes && bytes->find(text) != std::string::npos;
}

// Another program refused the sign-out: the query saved what was typed, and the widget goes on.
TEST(ShellSession, CancelledEndOfSessionKeepsTheWidgetRunningAndSaved) {
    QuillProcess app;
    ASSERT_TRUE(app.Start());
    HWND window = app.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND note = Child(window, kNoteBoxId);
    ASSERT_TRUE(BringToFront(window));
    Click(note, {ClientRect(note).right / 2, ClientRect(note).bottom / 2});
    ASSERT_TRUE(Type(window, L"q1x"));

    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendSession(window, WM_QUERYENDSESSION, 0, &answer));
    EXPECT_EQ(answer, TRUE) << "the widget refused the end of the session";
    EXPECT_TRUE(FileHolds(app, L"nts.ini", "q1x")) << "the query did not save the note";
    EXPECT_TRUE(app.ReadTempFile(L"qlw.ini").has_value()) << "the query did not save the settings";

    ASSERT_TRUE(SendSession(window, WM_ENDSESSION, FALSE));
    Pump(1000);
    ASSERT_TRUE(app.Running()) << "a cancelled end of the session ended the widget";
    EXPECT_TRUE(IsWindowVisible(window));

    // Still a working widget: typing after the cancel reaches the end of the session that comes.
    ASSERT_TRUE(BringToFront(window));
    Click(note, {ClientRect(note).right / 2, ClientRect(note).bottom / 2});
    ASSERT_TRUE(Type(window, L"q2y"));
    ASSERT_TRUE(SendSession(window, WM_QUERYENDSESSION, 0));
    ASSERT_TRUE(SendSession(window, WM_ENDSESSION, TRUE));
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_TRUE(FileHolds(app, L"nts.ini", "q2y"));
}

} // namespace
} // namespace e2e
