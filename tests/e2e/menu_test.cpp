// End-to-end tests of the context menu: where it opens and from which presses, its appearance and
// clock commands applied at once and kept through "关闭" and a restart, the custom-pattern dialog and
// the font dialog's cancel.
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

namespace e2e::look {
namespace {

bool MenuWasEverShown(const QuillProcess& app) {
    for (HWND h : app.ShownWindows()) {
        if (IsWindow(h) && ClassName(h) == L"#32768")
            return true;
    }
    return false;
}

TEST(Menu, OpensBelowTheMenuBoxAndOnlyFromIt) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);

    // Just outside the box, to its right and below it: the press starts a drag, no menu.
    for (POINT press : {POINT{17, 0}, POINT{0, 24}}) {
        SCOPED_TRACE(::testing::Message() << "press at client (" << press.x << "," << press.y << ")");
        const POINT from = ToScreen(w, press);
        const POINT to{from.x + 9, from.y + 7};
        PressAt(from);
        MoveTo({from.x + 5, from.y + 4});
        MoveTo(to);
        EXPECT_TRUE(SettlesUnderCursor(w, press, to)) << "the press did not start a drag";
        ReleaseAt(to);
        Settle(w);
        EXPECT_FALSE(MenuWasEverShown(app)) << "a menu opened";
    }

    // The box's last pixel opens the menu with its top-left corner at client (0, 24).
    const RECT before = WindowRect(w);
    HWND menu = OpenMenu(app, w, {16, 23});
    ASSERT_NE(menu, nullptr);
    const RECT menuRect = WindowRect(menu);
    const POINT expected = ToScreen(w, {0, 24});
    EXPECT_EQ(menuRect.left, expected.x);
    EXPECT_EQ(menuRect.top, expected.y);
    const RECT whileOpen = WindowRect(w);
    EXPECT_TRUE(EqualRect(&before, &whileOpen)) << "the press on the menu box moved the window";
    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);
    Pump(100);
    EXPECT_TRUE(app.Running()) << "closing the menu ended the program";
    MoveTo({expected.x + 30, expected.y - 40});
    Settle(w);
    const RECT after = WindowRect(w);
    EXPECT_TRUE(EqualRect(&before, &after)) << "the press on the menu box started a drag";
}

TEST(Menu, ChoicesApplyAtOnceAndSurviveCloseAndRestart) {
    CalendarSettings s = QuietSettingsAt(200, 150);
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    const LONG W = ClientRect(w).right;
    const std::optional<POINT> bg = BackgroundPoint(w);
    ASSERT_TRUE(bg.has_value());
    const COLORREF desktop = DesktopNextTo(w);
    const SchemeColors& red = kSchemes[2];
    ASSERT_TRUE(StripHasText(w, false));

    ASSERT_TRUE(ChooseSubmenuItem(app, w, 0, 2)) << "颜色 / 红色";
    EXPECT_TRUE(PixelIs(w, *bg, red.back, 0, 500)) << "the red scheme did not show at once";
    EXPECT_TRUE(PixelIs(w, {8, 11}, red.accent, 0, 500));

    ASSERT_TRUE(ChooseSubmenuItem(app, w, 1, 2)) << "样式 / 全圆角";
    EXPECT_TRUE(PixelIs(w, {0, 0}, desktop, 2, 500)) << "the top-left corner was not rounded at once";
    EXPECT_TRUE(PixelIs(w, {W - 1, ClientRect(w).bottom - 1}, desktop, 2, 500));

    ASSERT_TRUE(ChooseSubmenuItem(app, w, 2, 1)) << "标题 / 渐变 2";
    EXPECT_TRUE(PixelIs(w, {W / 2, 1}, Between(red.accent, red.back, 1, kStripHeight), 4, 500))
        << "gradient 2 did not put the medium colour at the top at once";

    ASSERT_TRUE(ChooseSubmenuItem(app, w, 3, 0)) << "时间 / %H:%M:%S";
    EXPECT_TRUE(StripHasText(w, true)) << "the clock format did not show at once";

    const RECT placed = WindowRect(w);
    ASSERT_TRUE(CloseFromMenu(app, w));
    CalendarSettings expected = s;
    expected.m_nColorScheme = 2;
    expected.m_nCornerStyle = 2;
    expected.m_nGradient = 1;
    expected.m_nTimeFormat = 40;
    expected.m_nPosX = placed.left;
    expected.m_nPosY = placed.top;
    EXPECT_TRUE(SameBytes(app.ReadTempFile(kSettingsFile), SettingsBytes(expected)));

    QuillProcess again;
    again.ShareTempFolderWith(app);
    ASSERT_TRUE(again.Start());
    HWND w2 = again.WaitForWindow();
    ASSERT_NE(w2, nullptr);
    EXPECT_TRUE(PixelIs(w2, *bg, red.back)) << "scheme after restart";
    EXPECT_TRUE(PixelIs(w2, {0, 0}, desktop, 2)) << "corner style after restart";
    EXPECT_TRUE(PixelIs(w2, {W / 2, 1}, Between(red.accent, red.back, 1, kStripHeight), 4))
        << "gradient after restart";
    EXPECT_TRUE(StripHasText(w2, true)) << "clock format after restart";
}

// ---- The custom-pattern dialog ----

HWND WaitForDialog(const QuillProcess& app, HWND calendarWindow) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND h : app.TopLevelWindows()) {
                if (h != calendarWindow && IsWindowVisible(h) && ClassName(h) == L"#32770") {
                    found = h;
                    return true;
                }
            }
            return false;
        },
        5000);
    if (!found)
        ADD_FAILURE() << "no dialog opened";
    return found;
}

// The screen point of a window's close box, found by asking the window itself.
std::optional<POINT> CloseBoxOf(HWND dlg) {
    const RECT r = WindowRect(dlg);
    const POINT clientOrigin = ToScreen(dlg, {0, 0});
    for (LONG y = r.top + 1; y < clientOrigin.y; ++y) {
        for (LONG x = r.right - 2; x > r.right - 60 && x > r.left; --x) {
            DWORD_PTR hit = 0;
            if (SendMessageTimeoutW(dlg, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_NORMAL, kWaitMs, &hit) &&
                hit == HTCLOSE)
                return POINT{x - 3, y + 3};
        }
    }
    return std::nullopt;
}

struct PatternCase {
    const char* name;
    int startFormat;
    std::string startPattern;
    std::wstring typed;
    std::function<void(HWND dlg)> end;
    int savedFormat;
    std::string savedPattern;
    bool stripHasText;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << c.name;
}

void ClickOk(HWND dlg) {
    HWND ok = Child(dlg, IDOK);
    ASSERT_NE(ok, nullptr);
    const RECT r = ClientRect(ok);
    Click(ok, {r.right / 2, r.bottom / 2});
}

void CloseBox(HWND dlg) {
    std::optional<POINT> box = CloseBoxOf(dlg);
    ASSERT_TRUE(box.has_value()) << "the dialog has no close box";
    ClickAt(*box);
}

// The window started with `s` and its pattern dialog: 自定义..., the seventh item of 时间, after
// the six fixed formats and a separator. The dialog is nullptr (with a failure) when it did not open.
std::pair<HWND, HWND> OpenPatternDialog(QuillProcess& app, const CalendarSettings& s) {
    HWND w = StartWith(app, s);
    if (!w) {
        ADD_FAILURE() << "the window did not show";
        return {nullptr, nullptr};
    }
    if (!ChooseSubmenuItem(app, w, 3, 6)) {
        ADD_FAILURE() << "the pattern dialog's menu item could not be chosen";
        return {w, nullptr};
    }
    return {w, WaitForDialog(app, w)};
}

class MenuCustomPattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(MenuCustomPattern, DialogEndsAsChosen) {
    const PatternCase& c = GetParam();
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_nTimeFormat = c.startFormat;
    s.m_strCustomFormat = c.startPattern;
    QuillProcess app;
    const auto [w, dlg] = OpenPatternDialog(app, s);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(TextW(dlg), L"时间格式...");
    HWND edit = Child(dlg, 1001);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(TextGbk(edit), c.startPattern) << "the dialog does not open on the current pattern";
    ASSERT_TRUE(SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed.c_str()),
                                    SMTO_NORMAL, kWaitMs, nullptr));

    c.end(dlg);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 3000))
        << "the dialog stayed";
    Settle(w);
    EXPECT_TRUE(StripHasText(w, c.stripHasText));

    const RECT placed = WindowRect(w);
    ASSERT_TRUE(CloseFromMenu(app, w));
    CalendarSettings expected = s;
    expected.m_nTimeFormat = c.savedFormat;
    expected.m_strCustomFormat = c.savedPattern;
    expected.m_nPosX = placed.left;
    expected.m_nPosY = placed.top;
    EXPECT_TRUE(SameBytes(app.ReadTempFile(kSettingsFile), SettingsBytes(expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Menu, MenuCustomPattern,
    ::testing::Values(
        // From a blank custom strip: the typed pattern (GBK text and a conversion) shows at once.
        PatternCase{"OkWithPattern", 46, "", L"日记 %Y", ClickOk, 46, "\xC8\xD5\xBC\xC7 %Y", true},
        PatternCase{"CancelByEscape", 40, "", L"abc", [](HWND dlg) { Key(dlg, VK_ESCAPE); }, 40, "", true},
        PatternCase{"CancelByCloseBox", 40, "", L"abc", CloseBox, 40, "", true}),
    [](const ::testing::TestParamInfo<PatternCase>& info) { return std::string(info.param.name); });

// The pattern dialog from the keyboard alone: the focus starts in the pattern, all of it selected;
// Ctrl+A selects it again; a pattern that shows nothing cannot be confirmed, and says why.
TEST(Menu, PatternDialogWorksFromTheKeyboard) {
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_nTimeFormat = 40;
    s.m_strCustomFormat = "old %H";
    QuillProcess app;
    const auto [w, dlg] = OpenPatternDialog(app, s);
    ASSERT_NE(dlg, nullptr);
    HWND edit = Child(dlg, 1001);
    HWND ok = Child(dlg, IDOK);
    HWND hint = Child(dlg, 1006);
    ASSERT_TRUE(edit && ok && hint);
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(dlg) == edit; }, 2000))
        << "the focus is on " << ToGbk(ClassName(FocusedWindow(dlg)));
    DWORD_PTR sel = 0;
    ASSERT_TRUE(SendMessageTimeoutW(edit, EM_GETSEL, 0, 0, SMTO_NORMAL, kWaitMs, &sel));
    EXPECT_EQ(LOWORD(sel), 0);
    EXPECT_EQ(HIWORD(sel), 6) << "the pattern is not selected whole";

    struct Step {
        const char* name;
        std::function<void()> act;
        std::string text;
        bool okEnabled;
    };
    const Step steps[] = {
        {"typing replaces the selection", [&] { Type(dlg, L"%M%"); }, "%M%", true},
        {"Ctrl+A and Delete empty it",
         [&] {
             Chord(dlg, {VK_CONTROL, 'A'});
             Key(dlg, VK_DELETE);
         },
         "", false},
        {"only unknown codes", [&] { Type(dlg, L"%q%k"); }, "%q%k", false},
        {"Enter on a pattern that shows nothing", [&] { Key(dlg, VK_RETURN); }, "%q%k", false},
        {"Ctrl+A then a real pattern",
         [&] {
             Chord(dlg, {VK_CONTROL, 'A'});
             Type(dlg, L"%H:%M");
         },
         "%H:%M", true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        Settle(dlg);
        ASSERT_TRUE(IsWindowVisible(dlg)) << "the dialog ended";
        EXPECT_EQ(TextGbk(edit), step.text);
        EXPECT_EQ(IsWindowEnabled(ok) != FALSE, step.okEnabled);
        EXPECT_EQ(TextW(hint).empty(), step.okEnabled) << "the hint does not follow the pattern";
        EXPECT_TRUE(app.Running());
    }

    Key(dlg, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 3000))
        << "Enter did not confirm";
    Settle(w);
    ASSERT_TRUE(app.Running()) << "a key reached the calendar and ended the widget";
    const RECT placed = WindowRect(w);
    ASSERT_TRUE(CloseFromMenu(app, w));
    CalendarSettings expected = s;
    expected.m_nTimeFormat = 46;
    expected.m_strCustomFormat = "%H:%M";
    expected.m_nPosX = placed.left;
    expected.m_nPosY = placed.top;
    EXPECT_TRUE(SameBytes(app.ReadTempFile(kSettingsFile), SettingsBytes(expected)));
}

// A window with quiet settings and `text` typed into its note box; nullptr (and a failure saying
// which step did not happen) when it could not be had.
HWND StartAndType(QuillProcess& app, const wchar_t* text) {
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    if (!w) {
        ADD_FAILURE() << "the window did not show";
        return nullptr;
    }
    HWND note = Child(w, 1001);
    if (!BringToFront(w)) {
        ADD_FAILURE() << "the window did not come to the front";
        return nullptr;
    }
    Click(note, {ClientRect(note).right / 2, ClientRect(note).bottom / 2});
    if (!Type(w, text)) {
        ADD_FAILURE() << "the note box took no typing";
        return nullptr;
    }
    return w;
}

// Once the process has ended: the typed note is in "nts.ini", and the next start in the same folder
// shows a window (and the note in it, when `shown`).
void ExpectSavedAndStartsAgain(const QuillProcess& app, const std::string& typed, bool shown) {
    const std::optional<std::string> notes = app.ReadTempFile(L"nts.ini");
    EXPECT_TRUE(notes && notes->find(typed) != std::string::npos) << "the note was not saved";
    QuillProcess again;
    again.ShareTempFolderWith(app);
    ASSERT_TRUE(again.Start());
    HWND second = again.WaitForWindow();
    ASSERT_NE(second, nullptr) << "the next start shows no window";
    if (shown) {
        EXPECT_NE(TextGbk(Child(second, 1001)).find(typed), std::string::npos);
    }
    ASSERT_TRUE(CloseFromMenu(again, second));
}

// The end of the session (a sign-out, an upgrade's call to close) while a box or the menu is open
// over the window: the notes are saved and the process ends, and the next start shows its window.
TEST(Menu, EndOfSessionWithABoxOpenEndsTheProcess) {
    struct Opener {
        const char* name;
        std::function<void(QuillProcess& app, HWND w)> open;
        bool menu;
    };
    const Opener openers[] = {
        {"pattern dialog", [](QuillProcess& app, HWND w) { ChooseSubmenuItem(app, w, 3, 6); }, false},
        {"font dialog",
         [](QuillProcess& app, HWND w) {
             OpenMenu(app, w, NextMenuBoxPoint());
             MenuKeys(w, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
         },
         false},
        {"About box", [](QuillProcess&, HWND w) { PostMessageW(w, WM_SYSCOMMAND, 16, 0); }, false},
        {"context menu", [](QuillProcess& app, HWND w) { OpenMenu(app, w, NextMenuBoxPoint()); }, true},
    };
    for (const Opener& o : openers) {
        SCOPED_TRACE(o.name);
        QuillProcess app;
        HWND w = StartAndType(app, L"s10");
        ASSERT_NE(w, nullptr);

        o.open(app, w);
        if (o.menu)
            ASSERT_FALSE(VisibleMenus(app).empty());
        else
            ASSERT_NE(WaitForDialog(app, w), nullptr);

        DWORD_PTR result = 0;
        SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, kWaitMs, &result);
        SendMessageTimeoutW(w, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, kWaitMs, &result);
        ASSERT_TRUE(app.WaitForExit()) << "the process outlived the end of the session";
        ASSERT_NO_FATAL_FAILURE(ExpectSavedAndStartsAgain(app, "s10", true));
    }
}

// "关闭" as the tray's menu sends it while a box is open over the window: the boxes end, then the
// process, with the note saved, and the next start shows its window. "同步..." while the sync box is
// open brings that box forward instead of opening a second one.
TEST(Menu, CloseWithABoxOpenEndsTheBoxesAndTheProcess) {
    constexpr WPARAM kSyncCommand = 52;
    constexpr WPARAM kCloseCommand = 56;
    struct Opener {
        const char* name;
        std::function<void(QuillProcess& app, HWND w)> open;
    };
    const Opener openers[] = {
        {"sync box", [](QuillProcess&, HWND w) { PostMessageW(w, WM_COMMAND, kSyncCommand, 0); }},
        {"pattern dialog", [](QuillProcess& app, HWND w) { ChooseSubmenuItem(app, w, 3, 6); }},
        {"About box", [](QuillProcess&, HWND w) { PostMessageW(w, WM_SYSCOMMAND, 16, 0); }},
    };
    auto visibleBoxes = [](const QuillProcess& app, HWND w) {
        int n = 0;
        for (HWND h : app.TopLevelWindows())
            n += h != w && IsWindowVisible(h) && ClassName(h) == L"#32770";
        return n;
    };
    for (const Opener& o : openers) {
        SCOPED_TRACE(o.name);
        QuillProcess app;
        HWND w = StartAndType(app, L"c11");
        ASSERT_NE(w, nullptr);

        o.open(app, w);
        HWND box = WaitForDialog(app, w);
        ASSERT_NE(box, nullptr);
        PostMessageW(w, WM_COMMAND, kSyncCommand, 0);
        Pump(700);
        EXPECT_EQ(visibleBoxes(app, w), 1) << "\"同步...\" opened a box over the open one";
        EXPECT_FALSE(IsWindowEnabled(w)) << "the window under the box took input";

        PostMessageW(w, WM_COMMAND, kCloseCommand, 0);
        ASSERT_TRUE(app.WaitForExit()) << "the process outlived its close";
        ASSERT_NO_FATAL_FAILURE(ExpectSavedAndStartsAgain(app, "c11", false));
    }
}

TEST(Menu, FontDialogCancelKeepsTheTitleFont) {
    CalendarSettings s = QuietSettingsAt(200, 150);
    s.m_strCustomFormat = "Quill WWW 123";
    s.m_lfFont.lfHeight = -20;
    s.m_lfFont.lfWeight = 700;
    s.m_lfFont.lfItalic = 1;
    SetFaceName(s.m_lfFont, "Tahoma");
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(StripHasText(w, true));
    const auto columnsBefore = StripTextColumns(w);

    ASSERT_TRUE(OpenMenu(app, w, NextMenuBoxPoint()));
    MenuKeys(w, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}); // 字体...
    HWND dlg = WaitForDialog(app, w);
    ASSERT_NE(dlg, nullptr);
    Key(dlg, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 3000))
        << "the dialog stayed";
    Settle(w);
    Pump(200);
    EXPECT_EQ(StripTextColumns(w), columnsBefore) << "the title text changed its extent";

    const RECT placed = WindowRect(w);
    ASSERT_TRUE(CloseFromMenu(app, w));
    CalendarSettings expected = s;
    expected.m_nPosX = placed.left;
    expected.m_nPosY = placed.top;
    EXPECT_TRUE(SameBytes(app.ReadTempFile(kSettingsFile), SettingsBytes(expected)));
}

} // namespace
} // namespace e2e::look
