// Helpers of the diary's end-to-end tests: notes files written by hand, today's key, day cells of
// the month calendar, how much ink a cell holds, and one run of the program with its diary controls.
#pragma once

#include "driver/files.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diary/date_key.h"

namespace e2e::diary {

inline constexpr int kCalendarId = 1000;
inline constexpr int kNoteBoxId = 1001;
inline constexpr WPARAM kCloseCommand = 56; // the context menu's "关闭"

// "俺的第一篇日记.." in GBK.
inline const std::string kGreeting = "\xB0\xB3\xB5\xC4\xB5\xDA\xD2\xBB\xC6\xAA\xC8\xD5\xBC\xC7\x2E\x2E";

// ---- Notes files, encoded here independently of the program ----

inline std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

// The shortest length prefix the writer uses, then the bytes.
inline std::string Counted(std::string_view s) {
    const std::size_t n = s.size();
    std::string out;
    if (n < 0xFF) {
        out += static_cast<char>(n);
    } else if (n <= 0xFFFD) {
        out += '\xFF';
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(n >> 8);
    } else {
        out += "\xFF\xFF\xFF";
        out += Le32(static_cast<std::uint32_t>(n));
    }
    out += s;
    return out;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

inline std::string NotesBytes(const Entries& entries) {
    std::string out = Le32(static_cast<std::uint32_t>(entries.size()));
    for (const auto& [key, text] : entries)
        out += Counted(key) + Counted(text);
    return out;
}

// A file of tests/data.
inline std::string SampleFile(const char* name) {
    std::ifstream in(std::string(QUILL_TEST_DATA) + "/" + name, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "missing sample file " << name;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Hex(std::string_view bytes, std::size_t max = 96) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    if (bytes.size() > max)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

inline ::testing::AssertionResult SameBytes(const std::optional<std::string>& actual,
                                            std::string_view expected) {
    if (!actual)
        return ::testing::AssertionFailure() << "the file does not exist";
    if (*actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\n  got      " << Hex(*actual) << "\n  expected " << Hex(expected);
}

// ---- Dates ----

inline std::string TodayKey() {
    return DateKeyOfInstant(static_cast<std::int64_t>(std::time(nullptr)));
}

inline SYSTEMTIME Today() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return st;
}

inline bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

inline int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A day next to today in the same month, and the arrow key that selects it from today.
struct Neighbour {
    SYSTEMTIME day;
    WORD toward;
    WORD back;
};

inline Neighbour NeighbourOf(const SYSTEMTIME& today) {
    Neighbour n{today, VK_RIGHT, VK_LEFT};
    if (today.wDay < DaysInMonth(today.wYear, today.wMonth)) {
        ++n.day.wDay;
    } else {
        --n.day.wDay;
        std::swap(n.toward, n.back);
    }
    return n;
}

inline std::string KeyOf(const SYSTEMTIME& st) {
    return DateKeyOfDate(st.wYear, st.wMonth, st.wDay);
}

// ---- The month calendar seen from outside ----

// The cell of a day of the selection's month, in the calendar's client coordinates.
inline std::optional<RECT> DayCell(HANDLE process, HWND calendar, const SYSTEMTIME& day) {
    auto hit = [&](POINT p) -> std::optional<MCHITTESTINFO> {
        MCHITTESTINFO info{};
        info.cbSize = sizeof info;
        info.pt = p;
        if (!SendRemote(process, calendar, MCM_HITTEST, 0, &info, sizeof info))
            return std::nullopt;
        return info;
    };
    // Any date cell tells the grid's pitch; the day is then found from its distance in days.
    const RECT client = ClientRect(calendar);
    std::optional<MCHITTESTINFO> ref;
    for (int y = client.bottom / 2; y < client.bottom && !ref; y += 4) {
        std::optional<MCHITTESTINFO> h = hit({client.right / 2, y});
        if (h && (h->uHit & MCHT_CALENDARDATE) == MCHT_CALENDARDATE && h->rc.right > h->rc.left)
            ref = h;
    }
    if (!ref)
        return std::nullopt;
    auto dayNumber = [](const SYSTEMTIME& st) {
        FILETIME ft{};
        SYSTEMTIME midnight{st.wYear, st.wMonth, 0, st.wDay, 0, 0, 0, 0};
        SystemTimeToFileTime(&midnight, &ft);
        return static_cast<long long>((ULARGE_INTEGER{{ft.dwLowDateTime, ft.dwHighDateTime}}.QuadPart) /
                                      (10000000ULL * 86400));
    };
    const long long offset = ref->iCol + (dayNumber(day) - dayNumber(ref->st));
    const long long row = ref->iRow + (offset >= 0 ? offset / 7 : -((6 - offset) / 7));
    const long long col = ((offset % 7) + 7) % 7;
    const LONG w = ref->rc.right - ref->rc.left, h = ref->rc.bottom - ref->rc.top;
    const POINT centre{static_cast<LONG>(ref->rc.left + (col - ref->iCol) * w + w / 2),
                       static_cast<LONG>(ref->rc.top + (row - ref->iRow) * h + h / 2)};
    std::optional<MCHITTESTINFO> found = hit(centre);
    if (!found || (found->uHit & MCHT_CALENDARDATE) != MCHT_CALENDARDATE || !SameDay(found->st, day))
        return std::nullopt;
    return found->rc;
}

// The calendar's "today" link, in its client coordinates.
inline std::optional<RECT> TodayLink(HANDLE process, HWND calendar) {
    const RECT client = ClientRect(calendar);
    for (int y = client.bottom - 1; y > client.bottom / 2; y -= 2) {
        for (int x : {client.right / 4, client.right / 2}) {
            MCHITTESTINFO info{};
            info.cbSize = sizeof info;
            info.pt = {x, y};
            if (SendRemote(process, calendar, MCM_HITTEST, 0, &info, sizeof info) &&
                info.uHit == MCHT_TODAYLINK)
                return info.rc;
        }
    }
    return std::nullopt;
}

// Pixels of the rectangle (client coordinates of w) as the screen shows them.
inline std::vector<COLORREF> Grab(HWND w, RECT client) {
    const POINT origin = ToScreen(w, {client.left, client.top});
    const std::vector<std::uint32_t> raw =
        CaptureScreen({origin.x, origin.y, origin.x + Width(client), origin.y + Height(client)});
    return std::vector<COLORREF>(raw.begin(), raw.end());
}

// How many pixels of a day's cell stand out from its background: a bold number holds clearly more
// than the same number drawn plain in the same cell. The border is left out, where the mark of
// today and the selection's edge are drawn.
inline int Ink(HWND calendar, RECT cell) {
    InflateRect(&cell, -2, -2);
    const std::vector<COLORREF> pixels = Grab(calendar, cell);
    std::map<COLORREF, int> counts;
    for (COLORREF c : pixels)
        ++counts[c & 0xFFFFFF];
    if (counts.empty())
        return -1;
    const COLORREF back = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                              return a.second < b.second;
                          })->first;
    auto channel = [](COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    // Summed contrast rather than a count of dark pixels: smoothed edges and light text colours of
    // some schemes still weigh in.
    long long contrast = 0;
    for (COLORREF c : pixels) {
        int diff = 0;
        for (int shift : {0, 8, 16})
            diff = std::max(diff, std::abs(channel(c, shift) - channel(back, shift)));
        contrast += diff;
    }
    return static_cast<int>(contrast / 32);
}

// The program keeps copies of its files in a folder of the user's own, and a start without "nts.ini"
// takes the notes from there. Each test moves that folder aside, so that no run of another test
// stands in for a first start, and puts it back at the end.
class SafetyFolderAside {
  public:
    SafetyFolderAside() {
        m_folder = SafetyFolderPath();
        if (m_folder.empty())
            return;
        m_aside = m_folder + L".e2e-diary-aside-" + std::to_wstring(GetCurrentProcessId());
        if (GetFileAttributesW(m_folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
            m_movedAside = MoveFileW(m_folder.c_str(), m_aside.c_str()) != FALSE;
            if (!m_movedAside)
                ADD_FAILURE() << "cannot move the program's safety folder aside";
        }
    }
    ~SafetyFolderAside() {
        Clear();
        if (m_movedAside && !MoveFileW(m_aside.c_str(), m_folder.c_str()))
            ADD_FAILURE() << "the program's safety folder was not put back";
    }
    SafetyFolderAside(const SafetyFolderAside&) = delete;
    SafetyFolderAside& operator=(const SafetyFolderAside&) = delete;

    // Forgets what the runs of this test left there.
    void Clear() const {
        if (m_folder.empty())
            return;
        driver::EmptyFolder(m_folder);
        RemoveDirectoryW(m_folder.c_str());
    }

  private:
    std::wstring m_folder;
    std::wstring m_aside;
    bool m_movedAside = false;
};

// One run of the program with its two diary controls found and the window settled; a later run made
// from an earlier one starts in the same temporary folder.
class ControlsRun {
  public:
    ControlsRun() = default;
    explicit ControlsRun(const ControlsRun& earlier) { m_app.ShareTempFolderWith(earlier.m_app); }
    ControlsRun& operator=(const ControlsRun&) = delete;

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

    QuillProcess& App() { return m_app; }
    std::string Note() const { return TextGbk(note); }
    std::optional<SYSTEMTIME> Selection() const { return MonthCalSelection(m_app.Handle(), calendar); }

    HWND window = nullptr;
    HWND calendar = nullptr;
    HWND note = nullptr;

  protected:
    QuillProcess m_app;
};

} // namespace e2e::diary
