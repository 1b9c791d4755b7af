// End-to-end tests of the widget's own syncing against a real CalDAV server, for what only the
// running window shows: a note from the other PC appearing bold after the sync at start, a filed
// note reaching the server by itself, and a note being typed in left alone by an incoming change.
// The "other PC" is the notes tool with a temporary folder of its own. tests/sync/widget_case.sh
// starts the server and names it in QUILL_SYNC_URL (with QUILL_SYNC_USER and QUILL_SYNC_PASSWORD);
// without it these tests are skipped.
#include "diary_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace e2e::diary {
namespace {

std::wstring EnvW(const wchar_t* name) {
    wchar_t buffer[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

std::string Utf8(std::wstring_view w) {
    if (w.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string IsoDay(const SYSTEMTIME& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", d.wYear, d.wMonth, d.wDay);
    return text;
}

// One run of the widget and its two diary controls.
class Widget {
  public:
    QuillProcess app;
    HWND window = nullptr, calendar = nullptr, note = nullptr;

    bool Start() {
        if (!app.Start() || !(window = app.WaitForWindow()))
            return false;
        calendar = Child(window, kCalendarId);
        note = Child(window, kNoteBoxId);
        return calendar && note && Settle(window);
    }
    std::string Note() const { return TextGbk(note); }
    bool TypeAtEnd(std::wstring_view text) {
        if (!BringToFront(window))
            return false;
        const RECT box = ClientRect(note);
        Click(note, {box.right / 2, box.bottom / 2});
        return WaitUntil([&] { return FocusedWindow(window) == note; }, 2000) &&
               Chord(window, {VK_CONTROL, VK_END}) && Type(window, text);
    }
    // A click on the day's cell: the note shown so far is filed, the day's note shown.
    bool Select(const SYSTEMTIME& day) {
        const std::optional<RECT> cell = DayCell(app.Handle(), calendar, day);
        if (!cell)
            return false;
        Click(calendar, {(cell->left + cell->right) / 2, (cell->top + cell->bottom) / 2});
        const std::optional<SYSTEMTIME> now = MonthCalSelection(app.Handle(), calendar);
        return now && SameDay(*now, day);
    }
    int DayInk(const SYSTEMTIME& day) {
        Settle(window);
        WaitUntil([&] { return !GetUpdateRect(calendar, nullptr, FALSE); }, 2000);
        Pump(50);
        const std::optional<RECT> cell = DayCell(app.Handle(), calendar, day);
        return cell ? Ink(calendar, *cell) : -1;
    }
    bool Close() {
        PostMessageW(window, WM_COMMAND, kCloseCommand, 0);
        return app.WaitForExit(20000);
    }
};

class Sync : public ::testing::Test {
  protected:
    void SetUp() override {
        m_url = EnvW(L"QUILL_SYNC_URL");
        if (m_url.empty())
            GTEST_SKIP() << "no server: tests/sync/widget_case.sh names one in QUILL_SYNC_URL";
        m_user = EnvW(L"QUILL_SYNC_USER");
        m_password = Utf8(EnvW(L"QUILL_SYNC_PASSWORD"));
    }

    // The diary of tempDir syncs with the server from now on.
    ::testing::AssertionResult SetUpSync(const std::wstring& tempDir) {
        const ToolRun run = RunNotesTool(L"sync setup " + m_url + L" --user " + m_user, tempDir, m_password);
        if (run.code == 0u)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "sync setup: " << run.out;
    }
    // Files text as the day's note of the other PC, replacing what it held, and syncs that PC.
    ::testing::AssertionResult OtherPcWrites(const SYSTEMTIME& day, const std::string& text) {
        if (!m_other.Write(L"in.json", R"({"format": "quillidar-notes", "version": 1, "notes": [{"date": ")" +
                                           IsoDay(day) + R"(", "text": ")" + text + R"("}]})"))
            return ::testing::AssertionFailure() << "cannot write the other PC's import";
        const ToolRun filed =
            RunNotesTool(L"import \"" + m_other.Path() + L"in.json\" --on-conflict replace", m_other.Path());
        if (filed.code != 0u)
            return ::testing::AssertionFailure() << "import: " << filed.out;
        return OtherPcSyncs();
    }
    ::testing::AssertionResult OtherPcSyncs() {
        const ToolRun run = RunNotesTool(L"sync now", m_other.Path());
        if (run.code == 0u)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "sync now: " << run.out;
    }
    // The other PC's note of the day after a sync of its own; nullopt when the sync failed.
    std::optional<std::string> OtherPcNote(const SYSTEMTIME& day) {
        if (!OtherPcSyncs())
            return std::nullopt;
        const std::wstring iso(IsoDay(day).begin(), IsoDay(day).end());
        const ToolRun shown = RunNotesTool(L"show " + iso, m_other.Path());
        return shown.code == 0u ? shown.out : std::string();
    }

    SafetyFolderAside m_safety;
    TempFolder m_other;
    std::wstring m_url, m_user;
    std::string m_password;
};

bool Holds(const std::string& text, const std::string& part) {
    const std::size_t at = text.find(part);
    return at != std::string::npos && text.find(part, at + 1) == std::string::npos;
}

TEST_F(Sync, TheWidgetSyncsByItselfAtStartAfterFilingAndNeverUnderTheTyping) {
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);
    ASSERT_TRUE(SetUpSync(m_other.Path()));

    // The first start: nothing on the server yet; the neighbour's cell as it looks without a note.
    Widget first;
    ASSERT_TRUE(first.app.WriteTempFile(L"nts.ini", NotesBytes({{TodayKey(), "base"}})));
    ASSERT_TRUE(SetUpSync(first.app.TempDir()));
    ASSERT_TRUE(first.Start());
    const int plain = first.DayInk(next.day);
    ASSERT_TRUE(first.Close());

    // The other PC writes the neighbour's note; the next start shows it, bold, with no restart.
    ASSERT_TRUE(OtherPcWrites(next.day, "from the other PC"));
    Widget run;
    run.app.ShareTempFolderWith(first.app);
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(WaitUntil([&] { return run.DayInk(next.day) * 4 >= plain * 5; }, 20000))
        << "the other PC's note did not turn its day bold (ink " << run.DayInk(next.day) << ", plain "
        << plain << ")";
    ASSERT_TRUE(run.Select(next.day));
    EXPECT_EQ(run.Note(), "from the other PC");

    // A note filed here reaches the server by itself within seconds.
    ASSERT_TRUE(run.TypeAtEnd(L", answered here"));
    ASSERT_TRUE(run.Select(today));
    std::optional<std::string> there;
    EXPECT_TRUE(WaitUntil(
        [&] {
            there = OtherPcNote(next.day);
            return there && *there == "from the other PC, answered here";
        },
        30000))
        << "the filed note did not reach the server; the other PC holds [" << there.value_or("?") << "]";

    // A change from the other PC arrives while today's note is being typed in: the box keeps exactly
    // what was typed, and filing it joins both.
    ASSERT_TRUE(OtherPcWrites(today, "base, changed on the other PC"));
    ASSERT_TRUE(run.Select(next.day));
    ASSERT_TRUE(run.TypeAtEnd(L"!"));
    ASSERT_TRUE(run.Select(today)); // files the neighbour: a sync follows within seconds
    ASSERT_TRUE(run.TypeAtEnd(L" typed here"));
    // The neighbour's "!" on the other PC means the sync after that filing ran.
    EXPECT_TRUE(WaitUntil(
        [&] {
            there = OtherPcNote(next.day);
            return there && *there == "from the other PC, answered here!";
        },
        30000))
        << "the widget's sync after filing did not run; the other PC holds [" << there.value_or("?") << "]";
    Pump(2000);
    EXPECT_EQ(run.Note(), "base typed here") << "an incoming change overwrote the note being typed";
    // Filed, the day's two texts are joined by the sync that follows, and the box shows the join.
    ASSERT_TRUE(run.Select(next.day));
    ASSERT_TRUE(run.Select(today));
    std::string joined;
    EXPECT_TRUE(WaitUntil(
        [&] {
            joined = run.Note();
            return Holds(joined, "base typed here") && Holds(joined, "base, changed on the other PC");
        },
        20000))
        << "the filed note and the other PC's change were not joined: [" << joined << "]";
    ASSERT_TRUE(run.Close());
    // The close syncs after its save: the other PC gets the same join.
    EXPECT_EQ(OtherPcNote(today).value_or("?"), joined);
}

// The sync box asks the server before it keeps an account: a wrong password is said as such at every
// try and keeps nothing, so "取消" leaves sync off; the right one is kept, and the box says so.
TEST_F(Sync, TheBoxChecksTheAccountBeforeKeepingIt) {
    constexpr int kUrl = 1010, kUser = 1011, kPassword = 1012, kStatus = 1014;
    Widget w;
    ASSERT_TRUE(w.Start());
    auto openBox = [&]() -> HWND {
        PostMessageW(w.window, WM_COMMAND, 52, 0);
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (HWND h : w.app.TopLevelWindows())
                    if (h != w.window && IsWindowVisible(h) && ClassName(h) == L"#32770")
                        found = h;
                return found != nullptr;
            },
            5000);
        return found;
    };
    auto fill = [](HWND box, const std::wstring& url, const std::wstring& user,
                   const std::wstring& password) {
        SendMessageW(GetDlgItem(box, kUrl), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(url.c_str()));
        SendMessageW(GetDlgItem(box, kUser), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(user.c_str()));
        SendMessageW(GetDlgItem(box, kPassword), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password.c_str()));
    };
    const std::string refused = "用户名或密码错误";
    const std::wstring password(m_password.begin(), m_password.end()); // ASCII

    HWND box = openBox();
    ASSERT_NE(box, nullptr);
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE("wrong password, try " + std::to_string(attempt + 1));
        fill(box, m_url, m_user, L"wrong" + password);
        SetWindowTextW(GetDlgItem(box, kStatus), L"");
        PostMessageW(box, WM_COMMAND, attempt % 2 ? IDOK : 1013, 0);
        EXPECT_TRUE(WaitUntil([&] { return TextGbk(GetDlgItem(box, kStatus)).find(refused) == 0; }, 20000))
            << TextGbk(GetDlgItem(box, kStatus));
        EXPECT_TRUE(IsWindowVisible(box));
    }
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5000));

    box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextGbk(GetDlgItem(box, kUrl)), "") << "a refused account was kept";
    fill(box, m_url, m_user, password);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 20000)) << TextGbk(GetDlgItem(box, kStatus));

    box = openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextGbk(GetDlgItem(box, kUrl)), Utf8(m_url));
    EXPECT_EQ(TextGbk(GetDlgItem(box, kPassword)), "") << "the kept password came back to the screen";
    EXPECT_TRUE(WaitUntil([&] { return TextGbk(GetDlgItem(box, kStatus)).find("密码已保存") == 0; }, 20000))
        << TextGbk(GetDlgItem(box, kStatus));
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5000));
    ASSERT_TRUE(w.Close());
}

} // namespace
} // namespace e2e::diary
