// End-to-end tests of the window's dealings with the platform at 96 DPI: the icon after the taskbar
// restarts, a drag that loses the mouse, the context menu from the keyboard, a clock too wide for the
// strip, and a long note scrolled far by its scroll box.
#include "diary_helpers.h"
#include "look_helpers.h"
#include "tray_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
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
    // With the button still down the cursor moves on over the window; one more move is posted, as
    // SettlesUnderCursor does, so the window surely hears of the button held.
    MoveTo({first.x + 50, first.y + 40});
    Settle(w);
    PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, 0);
    Settle(w);
    Pump(150);
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

struct MenuKey {
    const char* name;
    std::vector<WORD> keys;
};

void PrintTo(const MenuKey& c, std::ostream* os) {
    *os << c.name;
}

class MenuKeyboard : public ::testing::TestWithParam<MenuKey> {};

TEST_P(MenuKeyboard, OpensTheMenuBelowTheMenuBox) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    HWND calendar = Child(w, 1000);
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(w) == calendar; }, 3000));
    const RECT before = WindowRect(w);

    const std::vector<WORD>& keys = GetParam().keys;
    if (keys.size() == 2)
        Chord(w, {keys[0], keys[1]});
    else
        Key(w, keys[0]);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto menus = VisibleMenus(app);
            menu = menus.empty() ? nullptr : menus.front();
            return menu != nullptr;
        },
        3000))
        << "no menu opened";
    const RECT menuRect = WindowRect(menu);
    const POINT expected = ToScreen(w, {0, 24});
    EXPECT_EQ(menuRect.left, expected.x);
    EXPECT_EQ(menuRect.top, expected.y);
    EXPECT_TRUE(StaysAt(w, before));

    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);
    EXPECT_TRUE(app.Running());
}

INSTANTIATE_TEST_SUITE_P(Menu, MenuKeyboard,
                         ::testing::Values(MenuKey{"ShiftF10", {VK_SHIFT, VK_F10}},
                                           MenuKey{"MenuKey", {VK_APPS}}),
                         [](const ::testing::TestParamInfo<MenuKey>& info) {
                             return std::string(info.param.name);
                         });

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
    const RECT box96 = RectInParent(Child(w, 1001));
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
    const RECT box144 = RectInParent(Child(w, 1001));
    EXPECT_EQ(box144.top, box96.top * 3 / 2 + (box96.top % 2));
    EXPECT_EQ(box144.bottom, box96.bottom * 3 / 2 + (box96.bottom % 2));
    // Back on a monitor of 96 DPI the window is what it was, pixel for pixel.
    ASSERT_TRUE(SendDpiChanged(app, w, 96, at96));
    Settle(w);
    const RECT again = WindowRect(w);
    ASSERT_TRUE(EqualRect(&again, &at96));
    std::vector<std::uint32_t> after;
    WaitUntil([&] { return (after = CaptureScreen(at96)) == before; }, kPixelWaitMs);
    if (after.size() == before.size() && after != before) {
        LONG left = LONG_MAX, top = LONG_MAX, right = -1, bottom = -1, count = 0;
        for (LONG y = 0; y < Height(at96); ++y)
            for (LONG x = 0; x < Width(at96); ++x)
                if (after[static_cast<std::size_t>(y * Width(at96) + x)] !=
                    before[static_cast<std::size_t>(y * Width(at96) + x)]) {
                    ++count;
                    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x),
                    bottom = std::max(bottom, y);
                }
        ADD_FAILURE() << count << " pixels differ from before the round trip, within (" << left << "," << top
                      << ")-(" << right << "," << bottom << ")";
    }
    EXPECT_EQ(after.size(), before.size());
    const RECT boxAgain = RectInParent(Child(w, 1001));
    EXPECT_TRUE(EqualRect(&boxAgain, &box96));

    // Once more at 144 DPI: the menu opens from the scaled box, just under it.
    ASSERT_TRUE(SendDpiChanged(app, w, 144, suggested));
    Settle(w);
    // The menu opens from the scaled box, just under it.
    HWND menu = OpenMenu(app, w, {25, 35});
    ASSERT_NE(menu, nullptr);
    const RECT menuRect = WindowRect(menu);
    EXPECT_EQ(menuRect.left, at144.left);
    EXPECT_EQ(menuRect.top, at144.top + 36);
    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);
}

// ---- The font dialog ----

// The face list (combo box 0x470) of the system font dialog, read across the process boundary.
std::vector<std::wstring> FaceList(HWND dialog) {
    std::vector<std::wstring> faces;
    HWND combo = GetDlgItem(dialog, 0x470);
    DWORD_PTR count = 0;
    if (!combo || !SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, kWaitMs, &count))
        return faces;
    for (DWORD_PTR i = 0; i < count; ++i) {
        wchar_t face[LF_FACESIZE + 1] = {};
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, kWaitMs, &length) &&
            length <= LF_FACESIZE &&
            SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(face), SMTO_NORMAL, kWaitMs,
                                nullptr))
            faces.emplace_back(face);
    }
    return faces;
}

// The face GDI draws a font of this name with, here in the driver: the program's font mapper is the same.
std::wstring MappedFace(const wchar_t* face, int weight) {
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfWeight = weight;
    wcsncpy_s(lf.lfFaceName, face, _TRUNCATE);
    HDC screen = GetDC(nullptr);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(screen, font);
    wchar_t name[LF_FACESIZE] = {};
    GetTextFaceW(screen, LF_FACESIZE, name);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    return name;
}

// The installed face is the one the test prefix stands in for the dialogs' Song face with.
struct StoredFace {
    const char* name;
    const char* face;
    std::int32_t height;
    std::int32_t weight;
    const wchar_t* style; // as the dialog names it
    const wchar_t* size;  // points
};

void PrintTo(const StoredFace& c, std::ostream* os) {
    *os << c.name;
}

class MenuFontDialog : public ::testing::TestWithParam<StoredFace> {};

TEST_P(MenuFontDialog, OpensOnTheStoredFaceSizeAndStyleOrTheNearestInstalled) {
    const StoredFace& c = GetParam();
    CalendarSettings s = QuietSettingsAt(20, 20);
    SetFaceName(s.m_lfFont, c.face);
    s.m_lfFont.lfHeight = c.height;
    s.m_lfFont.lfWeight = c.weight;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(OpenMenu(app, w, NextMenuBoxPoint()));
    MenuKeys(w, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}); // 字体...
    HWND dlg = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND h : app.TopLevelWindows()) {
                if (h != w && IsWindowVisible(h) && ClassName(h) == L"#32770")
                    dlg = h;
            }
            return dlg != nullptr;
        },
        5000))
        << "no font dialog";
    const std::wstring wideFace(c.face, c.face + std::strlen(c.face));
    EXPECT_EQ(TextW(GetDlgItem(dlg, 0x470)), MappedFace(wideFace.c_str(), c.weight));
    EXPECT_EQ(TextW(GetDlgItem(dlg, 0x471)), c.style);
    EXPECT_EQ(TextW(GetDlgItem(dlg, 0x472)), c.size);
    const std::vector<std::wstring> faces = FaceList(dlg);
    EXPECT_FALSE(faces.empty());
    for (const std::wstring& face : faces)
        EXPECT_NE(face.substr(0, 1), L"@") << "a sideways face is offered: " << ToGbk(face);
    Key(dlg, VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 3000));
}

INSTANTIATE_TEST_SUITE_P(
    Menu, MenuFontDialog,
    ::testing::Values(StoredFace{"Installed", "AR PL UMing CN", -20, 700, L"Bold", L"15"},
                      StoredFace{"NotInstalled", "Bradley Hand ITC", -16, 600, L"Bold", L"12"}),
    [](const ::testing::TestParamInfo<StoredFace>& info) { return std::string(info.param.name); });

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

struct LongClock {
    const char* name;
    const char* pattern;
    std::int32_t height;
};

void PrintTo(const LongClock& c, std::ostream* os) {
    *os << c.name;
}

class LookLongClock : public ::testing::TestWithParam<LongClock> {};

TEST_P(LookLongClock, LeavesTheMenuBoxAndTheFrameUntouched) {
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
    s.m_strCustomFormat = GetParam().pattern;
    s.m_lfFont.lfHeight = GetParam().height;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(StripHasText(w, true));
    EXPECT_EQ(BoxAndFrame(w), blank) << "the clock text reached the menu box or the right frame";
}

INSTANTIATE_TEST_SUITE_P(
    Look, LookLongClock,
    ::testing::Values(LongClock{"LongPattern", "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", -16},
                      LongClock{"LargestFont", "Wednesday 12:00:00 PM WWWWW", -22}),
    [](const ::testing::TestParamInfo<LongClock>& info) { return std::string(info.param.name); });

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
    for (int pass = 0; pass < 2; ++pass) {
        PressAt(thumb);
        for (int step = 1; step <= 20; ++step) {
            MoveTo({thumb.x, thumb.y + (pass == 0 ? step : -step)});
            // Pumping only: Settle repaints the calendar window, and with it the whole note box.
            Pump(20);
            int found = backgroundPixels();
            if (found > 0)
                WaitUntil([&] { return (found = backgroundPixels()) == 0; }, 300);
            ASSERT_EQ(found, 0) << "pass " << pass << ", step " << step
                                << ": the note box shows the window's background";
        }
        thumb.y += pass == 0 ? 20 : -20;
        ReleaseAt(thumb);
        Pump(50);
    }
}

} // namespace
} // namespace e2e::look
