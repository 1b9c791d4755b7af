// End-to-end tests of the window's dealings with the platform at 96 DPI: the icon after the taskbar
// restarts, a drag that loses the mouse, the context menu from the keyboard, a monitor of another DPI,
// a clock too wide for the strip, and a long note scrolled far by its scroll box.
#include "diary_helpers.h"
#include "look_helpers.h"
#include "tray_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e::look {
namespace {

HWND CaptureOf(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info);
    return info.hwndCapture;
}

::testing::AssertionResult StaysAt(HWND w, const RECT& expected) {
    const RECT r = WindowRect(w);
    if (EqualRect(&r, &expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window moved from (" << expected.left << "," << expected.top
                                         << ") to (" << r.left << "," << r.top << ")";
}

// ---- The taskbar restarts ----

TEST(TrayRestart, TaskbarCreatedPutsTheIconBackWithoutTheBalloon) {
    QuillProcess app;
    CalendarSettings s = QuietSettingsAt(200, 150);
    HWND w = StartWith(app, s); // a settings file: no first-run balloon
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitUntil([] { return TrayIconCell(L"Quillidar").has_value(); }, 5000)) << "no icon at start";

    // A shell that restarts comes up with an empty notification area; this takes the icon away as
    // the lost shell did.
    NOTIFYICONDATAW nid{};
    nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
    nid.hWnd = w;
    nid.uID = 118;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    ASSERT_TRUE(WaitUntil([] { return !TrayIconCell(L"Quillidar").has_value(); }, 5000));

    // What the new taskbar broadcasts to every top-level window.
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    EXPECT_TRUE(WaitUntil([] { return TrayIconCell(L"Quillidar").has_value(); }, 5000))
        << "the icon did not come back after TaskbarCreated";
    // The tray holds a balloon back for two seconds after the icon comes.
    EXPECT_FALSE(WaitUntil([] { return VisibleBalloon().has_value(); }, 2500)) << "the balloon came back too";
    EXPECT_TRUE(app.Running());
}

// ---- A drag that loses the mouse ----

struct LostDrag {
    const char* name;
    std::function<void(HWND)> loseIt;
};

void PrintTo(const LostDrag& c, std::ostream* os) {
    *os << c.name;
}

class PlacementLostDrag : public ::testing::TestWithParam<LostDrag> {};

TEST_P(PlacementLostDrag, StopsFollowingTheCursor) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    const POINT anchor{150, 10};
    const POINT from = ToScreen(w, anchor);
    PressAt(from);
    const POINT first{from.x + 40, from.y + 30};
    MoveTo(first);
    ASSERT_TRUE(SettlesUnderCursor(w, anchor, first)) << "the drag never started";
    ASSERT_EQ(CaptureOf(w), w);

    GetParam().loseIt(w);
    Settle(w);
    EXPECT_EQ(CaptureOf(w), nullptr) << "the window still holds the mouse";
    const RECT left = WindowRect(w);
    // With the button still down the cursor moves on over the window. Under Wine the program may read
    // the cursor where it was for a tenth of a second after a move (see SettlesUnderCursor), which
    // would keep even a window that follows in place: moves with the button held are posted after
    // that time, so a window that still follows the cursor surely moves.
    MoveTo({first.x + 50, first.y + 40});
    for (int i = 0; i < 2; ++i) {
        Pump(150);
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, 0);
        Settle(w);
    }
    EXPECT_TRUE(StaysAt(w, left)) << "the window still follows the cursor";
    ReleaseAt({first.x + 50, first.y + 40});
    Settle(w);
    EXPECT_TRUE(StaysAt(w, left));
    EXPECT_TRUE(app.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Placement, PlacementLostDrag,
    ::testing::Values(
        // What the system sends when a dialog or a menu of another window takes over the mouse.
        LostDrag{"CaptureTakenAway",
                 [](HWND w) { SendMessageTimeoutW(w, WM_CANCELMODE, 0, 0, SMTO_NORMAL, kWaitMs, nullptr); }},
        // The release went to another window: the next move comes without the button.
        LostDrag{"MoveWithoutTheButton", [](HWND w) { PostMessageW(w, WM_MOUSEMOVE, 0, 0); }}),
    [](const ::testing::TestParamInfo<LostDrag>& info) { return std::string(info.param.name); });

// ---- The context menu from the keyboard ----

TEST(MenuKeyboard, ShiftF10AndTheMenuKeyOpenTheMenuBelowTheMenuBox) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    HWND calendar = Child(w, 1000);
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(w) == calendar; }, 3000));
    const RECT before = WindowRect(w);
    const POINT expected = ToScreen(w, {0, 24});
    for (const bool menuKey : {false, true}) {
        SCOPED_TRACE(menuKey ? "menu key" : "Shift+F10");
        menuKey ? Key(w, VK_APPS) : Chord(w, {VK_SHIFT, VK_F10});
        ASSERT_TRUE(WaitUntil([&] { return !VisibleMenus(app).empty(); }, 3000)) << "no menu opened";
        const RECT menu = WindowRect(VisibleMenus(app).front());
        EXPECT_EQ(menu.left, expected.x);
        EXPECT_EQ(menu.top, expected.y);
        Key(w, VK_ESCAPE);
        WaitMenusClosed(app);
    }
    EXPECT_TRUE(StaysAt(w, before));
    EXPECT_TRUE(app.Running());
}

// ---- A display of another DPI ----

// What the system sends when the window meets a monitor of another DPI: the new DPI and where it
// suggests the window goes.
bool SendDpiChanged(const QuillProcess& app, HWND w, int dpi, RECT suggested) {
    return SendRemote(app.Handle(), w, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), &suggested, sizeof suggested);
}

TEST(LookDpiChange, TheWindowScalesToTheNewDpiAndBackPixelForPixel) {
    const SchemeColors& c = kSchemes[0];
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_nGradient = 9; // a flat strip shows where it ends
    s.m_nCornerStyle = 1;
    // Clear of where the window comes up: a scroll arrow that once had the cursor over it is drawn
    // lit until the system notices it left, which would differ between the two pictures compared.
    MoveTo({GetSystemMetrics(SM_CXSCREEN) - 10, 10});
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(PixelIs(w, {8, 11}, c.accent)) << "the window is not painted";
    const RECT at96 = WindowRect(w);
    const std::vector<std::uint32_t> before = CaptureScreen(at96);

    // A monitor of 144 DPI: the suggested rectangle is the window one and a half times as large.
    const RECT suggested{at96.left, at96.top, at96.left + Width(at96) * 3 / 2,
                         at96.top + Height(at96) * 3 / 2};
    ASSERT_TRUE(SendDpiChanged(app, w, 144, suggested));
    Settle(w);
    const RECT at144 = WindowRect(w);
    EXPECT_TRUE(EqualRect(&at144, &suggested)) << "the suggested rectangle was not taken";
    EXPECT_TRUE(PixelIs(w, {Width(at144) / 2, 34}, c.back)) << "the strip is not 35 pixels high";
    EXPECT_TRUE(PixelIs(w, {Width(at144) / 2, 35}, c.accent)) << "no line under the 35-pixel strip";
    EXPECT_TRUE(PixelIs(w, {25, 18}, c.accent)) << "the menu box is not 26 pixels wide";
    EXPECT_TRUE(PixelIs(w, {12, 16}, c.accent)) << "the triangle is not scaled";
    // Back on a monitor of 96 DPI the window is what it was, pixel for pixel.
    ASSERT_TRUE(SendDpiChanged(app, w, 96, at96));
    Settle(w);
    const RECT again = WindowRect(w);
    ASSERT_TRUE(EqualRect(&again, &at96));
    std::vector<std::uint32_t> after;
    WaitUntil([&] { return (after = CaptureScreen(at96)) == before; }, kPixelWaitMs);
    EXPECT_TRUE(after == before) << "the window differs from before the round trip";
}

// ---- A clock too wide for the strip ----

// The menu box with the two columns right of it that keep text off its frame, and the strip's right
// frame with the two columns before it, copied from the screen.
std::vector<std::uint32_t> BoxAndFrame(HWND w) {
    const RECT client = ClientRect(w);
    const POINT origin = ToScreen(w, {0, 0});
    std::vector<std::uint32_t> pixels = CaptureScreen({origin.x, origin.y, origin.x + 19, origin.y + 24});
    const std::vector<std::uint32_t> frame =
        CaptureScreen({origin.x + client.right - 3, origin.y, origin.x + client.right, origin.y + 24});
    pixels.insert(pixels.end(), frame.begin(), frame.end());
    return pixels;
}

// A pattern far wider than the strip, in the largest font the strip takes.
TEST(LookLongClock, LeavesTheMenuBoxAndTheFrameUntouched) {
    // The same window with a blank strip shows the box as it must look.
    std::vector<std::uint32_t> blank;
    {
        QuillProcess app;
        HWND w = StartWith(app, QuietSettingsAt(200, 150));
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(PixelIs(w, {8, 11}, kSchemes[0].accent)) << "the window is not painted";
        blank = BoxAndFrame(w);
    }
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_strCustomFormat = "Wednesday 12:00:00 PM WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    s.m_lfFont.lfHeight = -22;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(StripHasText(w, true));
    EXPECT_EQ(BoxAndFrame(w), blank) << "the clock text reached the menu box or the right frame";
}

// ---- A long note scrolled far ----

TEST(DiaryNoteBox, ScrollBoxDraggedFarLeavesNoSliceOfTheCalendar) {
    QuillProcess app;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + " of a note long enough to wrap in the box\r\n";
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", diary::NotesBytes({{diary::TodayKey(), text}})));
    // A blank clock: the strip is never repainted, so nothing hides what the note box leaves.
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    HWND edit = Child(w, diary::kNoteBoxId);
    ASSERT_NE(edit, nullptr);
    const RECT box = RectInParent(edit);
    Click(w, {box.left + 20, box.top + 10});

    // The inside of the note box left of its scroll bar: white, grey text and the caret, never the
    // window's own background.
    const POINT inner = ToScreen(w, {box.left + 1, box.top + 1});
    const RECT inside{inner.x, inner.y, inner.x + Width(box) - 2 - GetSystemMetrics(SM_CXVSCROLL),
                      inner.y + Height(box) - 2};
    const auto backgroundPixels = [&] {
        ScreenBlock block(inside);
        int n = 0;
        for (LONG y = inside.top; y < inside.bottom; ++y)
            for (LONG x = inside.left; x < inside.right; ++x)
                n += ChannelDistance(block.At({x, y}), kSchemes[0].back) <= 4 ? 1 : 0;
        return n;
    };
    ASSERT_EQ(backgroundPixels(), 0);

    // The scroll box sits right under the up arrow; each pixel it moves scrolls many lines at once.
    POINT thumb = ToScreen(w, {box.right - 1 - GetSystemMetrics(SM_CXVSCROLL) / 2,
                               box.top + 1 + GetSystemMetrics(SM_CYVSCROLL) + 4});
    bool clean = true;
    for (int pass = 0; pass < 2 && clean; ++pass) {
        PressAt(thumb);
        for (int step = 1; step <= 20 && clean; ++step) {
            MoveTo({thumb.x, thumb.y + (pass == 0 ? step : -step)});
            // Pumping only: Settle repaints the calendar window, and with it the whole note box.
            Pump(20);
            clean = backgroundPixels() == 0 || WaitUntil([&] { return backgroundPixels() == 0; }, 300);
            EXPECT_TRUE(clean) << "pass " << pass << ", step " << step
                               << ": the note box shows the window's background";
        }
        thumb.y += pass == 0 ? 20 : -20;
        // Released whatever happened, so that no later test starts with the button down.
        ReleaseAt(thumb);
        Pump(50);
    }
}

// The session a test leg asked for really has the system code page it names (936 for the Chinese
// leg): otherwise that leg would test the English system twice.
TEST(PlatformCodePage, IsTheOneTheLegAskedFor) {
    const char* expected = std::getenv("QUILL_EXPECT_ACP");
    if (!expected)
        GTEST_SKIP() << "no code page asked for";
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::strtoul(expected, nullptr, 10)));
}

} // namespace
} // namespace e2e::look
