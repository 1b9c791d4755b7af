// End-to-end tests of the lunar view under the real program: the grid in the calendar's place, its
// keys and wheel filing notes through the calendar's selection change, the switch of views keeping the
// day and the note, its name for a screen reader and its days read through the system's accessibility
// client, the holidays file's marks, the settings file untouched, and the tooltip.
#include "diary_helpers.h"
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e::diary {
namespace {

constexpr WPARAM kLunarCommand = 51; // the context menu's "农历"
constexpr wchar_t kGridClass[] = L"QuillidarLunarGrid";
const std::string kLunarOn = "[view]\r\nlunar=1\r\n";

class LunarRun : public ControlsRun {
  public:
    LunarRun() = default;
    explicit LunarRun(const LunarRun& earlier) : ControlsRun(earlier) {}

    HWND Grid() const { return FindWindowExW(window, nullptr, kGridClass, nullptr); }
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

// What a screen reader asks the grid, through the system's own client in this process.
class Reader {
  public:
    explicit Reader(HWND grid) {
        m_com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        result = AccessibleObjectFromWindow(grid, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&acc));
    }
    ~Reader() {
        if (acc)
            acc->Release();
        if (m_com)
            CoUninitialize();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    static VARIANT Child(long id) {
        VARIANT v{};
        v.vt = VT_I4;
        v.lVal = id;
        return v;
    }
    std::wstring Name(long id) const {
        BSTR name = nullptr;
        if (FAILED(acc->get_accName(Child(id), &name)) || !name)
            return L"";
        std::wstring text(name, SysStringLen(name));
        SysFreeString(name);
        return text;
    }
    long Long(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), long id) const {
        VARIANT out{};
        return SUCCEEDED((acc->*get)(Child(id), &out)) && out.vt == VT_I4 ? out.lVal : -1;
    }
    long Selection() const {
        VARIANT out{};
        return SUCCEEDED(acc->get_accSelection(&out)) && out.vt == VT_I4 ? out.lVal : -1;
    }
    long Focus() const {
        VARIANT out{};
        return acc->get_accFocus(&out) == S_OK && out.vt == VT_I4 ? out.lVal : -1;
    }
    // The child whose name begins with `prefix`; 0 for none.
    long Find(const std::wstring& prefix) const {
        long count = 0;
        acc->get_accChildCount(&count);
        for (long id = 1; id <= count; ++id) {
            if (Name(id).rfind(prefix, 0) == 0)
                return id;
        }
        return 0;
    }

    HRESULT result = E_FAIL;
    IAccessible* acc = nullptr;

  private:
    bool m_com = false;
};

// The focus and selection events a reader hears from the program, gathered out of its process.
struct HeardEvents {
    static inline std::vector<std::pair<DWORD, LONG>> heard; // event, child id
    static void CALLBACK Hear(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
        if (object == OBJID_CLIENT)
            heard.emplace_back(event, child);
    }
    explicit HeardEvents(DWORD pid) {
        heard.clear();
        hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_SELECTION, nullptr, &HeardEvents::Hear, pid,
                               0, WINEVENT_OUTOFCONTEXT);
    }
    ~HeardEvents() {
        if (hook)
            UnhookWinEvent(hook);
    }
    HeardEvents(const HeardEvents&) = delete;
    HeardEvents& operator=(const HeardEvents&) = delete;
    // Pumps this thread's messages, through which the events arrive, until `event` for `child` came.
    bool WaitFor(DWORD event, LONG child) const {
        return WaitUntil(
            [&] {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&msg);
                return std::find(heard.begin(), heard.end(), std::make_pair(event, child)) != heard.end();
            },
            2000);
    }
    HWINEVENTHOOK hook = nullptr;
};

// "2026年12月9日", as the names begin.
std::wstring WideDate(int year, int month, int day) {
    return std::to_wstring(year) + L"\x5E74" + std::to_wstring(month) + L"\x6708" + std::to_wstring(day) +
           L"\x65E5";
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

// The grid read as a screen reader reads it: a table of 42 cells named with the tooltip's words, the
// selected day its selection and, with the focus in the grid, its focus; a key moves both.
TEST_F(Lunar, AScreenReaderReadsTheDaysOfTheGrid) {
    const SYSTEMTIME today = Today();
    LunarRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"qlw_view.ini", kLunarOn));
    ASSERT_TRUE(run.Start());
    const HWND grid = run.Grid();
    ASSERT_TRUE(grid);
    const Reader reader(grid);
    ASSERT_TRUE(SUCCEEDED(reader.result) && reader.acc)
        << "AccessibleObjectFromWindow: " << std::hex << reader.result;
    long count = 0;
    ASSERT_EQ(reader.acc->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(reader.Long(&IAccessible::get_accRole, CHILDID_SELF), ROLE_SYSTEM_TABLE);

    const long selected = reader.Selection();
    ASSERT_GE(selected, 1) << "no selected day";
    const std::wstring name = reader.Name(selected);
    EXPECT_EQ(name.rfind(WideDate(today.wYear, today.wMonth, today.wDay), 0), 0u);
    EXPECT_NE(name.find(L"\x519C\x5386"), std::wstring::npos) << "no 农历 in the name";
    EXPECT_NE(name.find(L"\x6709\x65E5\x8BB0"), std::wstring::npos) << "no 有日记 for today's note";
    EXPECT_EQ(reader.Long(&IAccessible::get_accRole, selected), ROLE_SYSTEM_CELL);
    EXPECT_TRUE(reader.Long(&IAccessible::get_accState, selected) & STATE_SYSTEM_SELECTED);

    // Where the reader says the day is, the grid's hit test finds it.
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(reader.acc->accLocation(&left, &top, &width, &height, Reader::Child(selected)), S_OK);
    const RECT whole = WindowRect(grid);
    EXPECT_TRUE(left >= whole.left && top >= whole.top && left + width <= whole.right &&
                top + height <= whole.bottom && width > 0 && height > 0);
    VARIANT hit{};
    ASSERT_EQ(reader.acc->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
    EXPECT_EQ(hit.vt == VT_I4 ? hit.lVal : -1, selected);

    ASSERT_TRUE(run.FocusGrid());
    EXPECT_EQ(reader.Focus(), selected);
    EXPECT_TRUE(reader.Long(&IAccessible::get_accState, selected) & STATE_SYSTEM_FOCUSED);
    const HeardEvents events(GetProcessId(run.App().Handle()));
    ASSERT_TRUE(events.hook) << "SetWinEventHook";
    ASSERT_TRUE(Key(run.window, VK_RIGHT));
    const SYSTEMTIME tomorrow = Shifted(today, 1);
    const long moved = reader.Selection();
    EXPECT_EQ(reader.Name(moved).rfind(WideDate(tomorrow.wYear, tomorrow.wMonth, tomorrow.wDay), 0), 0u);
    EXPECT_EQ(reader.Focus(), moved);
    // The reader is told: the focus and the selection moved to that cell.
    EXPECT_TRUE(events.WaitFor(EVENT_OBJECT_SELECTION, moved));
    EXPECT_TRUE(events.WaitFor(EVENT_OBJECT_FOCUS, moved));
    IDispatch* parent = nullptr;
    EXPECT_EQ(reader.acc->get_accParent(&parent), S_OK) << "no parent for the table";
    if (parent)
        parent->Release();
    VARIANT first{};
    EXPECT_EQ(reader.acc->accNavigate(NAVDIR_FIRSTCHILD, Reader::Child(CHILDID_SELF), &first), S_OK);
    EXPECT_EQ(first.vt == VT_I4 ? first.lVal : 0, 1);
    ASSERT_TRUE(run.Close());
}

// A newer year's 休 from the holidays file in the diary's safety folder, where quillidar-notes reads it;
// a file with a fault gives that year no mark at all.
TEST_F(Lunar, TheHolidaysFileMarksANewerYearAndAFaultyOneNone) {
    LunarRun first;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.Close());
    // The one diary's folder the run made in the safety folder, now that the others are aside.
    std::wstring folder;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((SafetyFolderPath() + L"\\*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.')
            folder = SafetyFolderPath() + L"\\" + found.cFileName + L"\\";
    } while (FindNextFileW(find, &found));
    FindClose(find);
    ASSERT_FALSE(folder.empty()) << "the run made no diary folder";

    const std::string head = "quillidar-holidays 1\nyear 2030\n";
    struct Case {
        std::string file;
        bool rest;
    } cases[] = {
        {head + "2030-01-01 rest newyear\n", true},
        // A Wednesday is never a make-up working day: the whole file is left out.
        {head + "2030-01-01 rest newyear\n2030-01-02 work newyear\n", false},
    };
    for (const Case& c : cases) {
        {
            const HANDLE out = CreateFileW((folder + L"holidays.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(out, INVALID_HANDLE_VALUE);
            DWORD written = 0;
            WriteFile(out, c.file.data(), static_cast<DWORD>(c.file.size()), &written, nullptr);
            CloseHandle(out);
        }
        LunarRun run(first);
        ASSERT_TRUE(run.App().WriteTempFile(L"qlw_view.ini", kLunarOn));
        ASSERT_TRUE(run.Start());
        const HWND grid = run.Grid();
        ASSERT_TRUE(grid);
        // Toward the user is the next month: one message turns as many months as its notches.
        const SYSTEMTIME today = Today();
        const int months = (2030 - today.wYear) * 12 + (1 - today.wMonth);
        PostMessageW(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-months * WHEEL_DELTA)), 0);
        ASSERT_TRUE(Settle(run.window));
        const Reader reader(grid);
        ASSERT_TRUE(reader.acc) << std::hex << reader.result;
        const long day = reader.Find(WideDate(2030, 1, 1));
        ASSERT_GT(day, 0) << "the grid does not show 1 January 2030";
        const std::wstring name = reader.Name(day);
        EXPECT_EQ(name.find(L"\x4F11") != std::wstring::npos, c.rest) << c.file; // 休
        ASSERT_TRUE(run.Close());
    }
    DeleteFileW((folder + L"holidays.txt").c_str());
}

// The record a high-contrast theme leaves in the registry, set for a test and put back after it. Wine
// has no high contrast of its own (it answers that the feature is missing and cannot set it).
class HighContrastRecord {
  public:
    HighContrastRecord() {
        wchar_t value[16] = {};
        DWORD size = sizeof value;
        m_had = RegGetValueW(HKEY_CURRENT_USER, kKey, L"Flags", RRF_RT_REG_SZ, nullptr, value, &size) ==
                ERROR_SUCCESS;
        m_old = value;
    }
    ~HighContrastRecord() {
        if (m_had)
            Set(m_old);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Flags");
    }
    HighContrastRecord(const HighContrastRecord&) = delete;
    HighContrastRecord& operator=(const HighContrastRecord&) = delete;
    static bool Set(const std::wstring& flags) {
        return RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Flags", REG_SZ, flags.c_str(),
                               static_cast<DWORD>((flags.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

  private:
    static constexpr const wchar_t* kKey = L"Control Panel\\Accessibility\\HighContrast";
    bool m_had = false;
    std::wstring m_old;
};

// High contrast turned on or off repaints the grid at once, with the system's colours while it is on:
// only top-level windows hear of the change, so the window passes it on.
TEST_F(Lunar, HighContrastRepaintsTheGridAtOnceWithTheSystemsColours) {
    HighContrastRecord record;
    ASSERT_TRUE(HighContrastRecord::Set(L"126")); // available, off
    LunarRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"qlw_view.ini", kLunarOn));
    ASSERT_TRUE(run.Start());
    const HWND grid = run.Grid();
    ASSERT_TRUE(grid);
    ASSERT_TRUE(BringToFront(run.window));
    // The title's corner: the scheme's accent, and in high contrast the highlight colour.
    const POINT corner{1, 1};
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(grid) != FALSE; }, 2000));
    const COLORREF accent = ScreenPixel(ToScreen(grid, corner));
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    ASSERT_GT(look::ChannelDistance(accent, highlight), 16) << "the scheme's title is the highlight colour";
    struct Step {
        const wchar_t* flags;
        UINT msg;
        WPARAM wParam;
    } steps[] = {
        {L"127", WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST},
        {L"126", WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST},
        {L"127", WM_SYSCOLORCHANGE, 0},
        {L"126", WM_THEMECHANGED, 0},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(HighContrastRecord::Set(step.flags));
        SendMessageW(run.window, step.msg, step.wParam, 0);
        const bool on = std::wstring(step.flags) == L"127";
        EXPECT_TRUE(look::PixelIs(grid, corner, on ? highlight : accent))
            << "message " << std::hex << step.msg << (on ? ", high contrast on" : ", off");
    }
    ASSERT_TRUE(run.Close());
}

} // namespace
} // namespace e2e::diary
