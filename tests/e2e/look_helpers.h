// Shared by the look, menu and placement end-to-end tests: settings files to start from, the scheme
// colours, pixels read from the screen with bounded waits, and the real context menu driven by keys.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "appearance/settings_file.h"

namespace e2e::look {

inline constexpr int kStripHeight = 23;
inline constexpr wchar_t kSettingsFile[] = L"qlw.ini";

struct SchemeColors {
    COLORREF back, accent, text;
};

// The colour table as a user sees it, written out here rather than taken from the program.
inline constexpr SchemeColors kSchemes[5] = {
    {RGB(220, 220, 250), RGB(100, 100, 190), RGB(50, 50, 100)}, // blue
    {RGB(200, 250, 200), RGB(75, 150, 75), RGB(50, 100, 50)},   // green
    {RGB(250, 200, 200), RGB(150, 90, 90), RGB(100, 50, 50)},   // red
    {RGB(250, 250, 150), RGB(150, 150, 50), RGB(50, 50, 0)},    // yellow
    {RGB(220, 220, 220), RGB(120, 120, 120), RGB(50, 50, 50)},  // grey
};

// The first-start record at a given place; the clock shows nothing, so the strip holds only the
// gradient unless a test asks for text.
inline CalendarSettings QuietSettingsAt(int x, int y) {
    CalendarSettings s;
    s.m_nColorScheme = 0;
    s.m_nCornerStyle = 0;
    s.m_nCornerRadius = 15;
    s.m_nGradient = 0;
    s.m_nTimeFormat = 46;
    s.m_nPosX = x;
    s.m_nPosY = y;
    s.m_lfFont = BaseLogFont();
    s.m_lfFont.lfHeight = -16;
    s.m_lfFont.lfWeight = 600;
    SetFaceName(s.m_lfFont, "Bradley Hand ITC");
    s.m_strCustomFormat.clear();
    return s;
}

inline std::string SettingsBytes(const CalendarSettings& s) {
    return EncodeSettings(s, kFileKey);
}

inline std::int32_t Int32At(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(i)));
    return static_cast<std::int32_t>(v);
}

inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline ::testing::AssertionResult SameBytes(const std::optional<std::string>& actual,
                                            const std::string& expected) {
    if (!actual)
        return ::testing::AssertionFailure() << "qlw.ini was not written";
    if (*actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "qlw.ini holds\n  " << Hex(*actual) << "\nexpected\n  " << Hex(expected);
}

// Writes qlw.ini into the program's temporary folder, starts it and waits for its window.
inline HWND StartWith(QuillProcess& app, const CalendarSettings& s) {
    if (!app.WriteTempFile(kSettingsFile, SettingsBytes(s))) {
        ADD_FAILURE() << "cannot write qlw.ini";
        return nullptr;
    }
    if (!app.Start())
        return nullptr;
    return app.WaitForWindow();
}

// ---- Pixels ----

inline int ChannelDistance(COLORREF a, COLORREF b) {
    const int dr = std::abs(GetRValue(a) - GetRValue(b));
    const int dg = std::abs(GetGValue(a) - GetGValue(b));
    const int db = std::abs(GetBValue(a) - GetBValue(b));
    return std::max(dr, std::max(dg, db));
}

inline std::string ColorText(COLORREF c) {
    std::ostringstream s;
    s << "RGB(" << int(GetRValue(c)) << "," << int(GetGValue(c)) << "," << int(GetBValue(c)) << ")";
    return s.str();
}

// The window's own painting reaches the screen a moment after the paint under Wine, so every
// pixel check polls for a short, bounded time before it reports.
inline constexpr DWORD kPixelWaitMs = 2000;

inline ::testing::AssertionResult PixelIs(HWND w, POINT client, COLORREF expected, int tolerance = 0,
                                          DWORD waitMs = kPixelWaitMs) {
    const POINT screen = ToScreen(w, client);
    COLORREF got = ScreenPixel(screen);
    if (ChannelDistance(got, expected) > tolerance) {
        WaitUntil(
            [&] {
                got = ScreenPixel(screen);
                return ChannelDistance(got, expected) <= tolerance;
            },
            waitMs);
    }
    if (ChannelDistance(got, expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "client (" << client.x << "," << client.y << ") is " << ColorText(got) << ", expected "
           << ColorText(expected) << " (tolerance " << tolerance << ")";
}

// The expected colour a fraction num/den of the way from one end of a gradient to the other.
inline COLORREF Between(COLORREF from, COLORREF to, int num, int den) {
    auto mix = [&](int a, int b) { return a + (b - a) * num / den; };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

// A block of the screen copied at once, for checks that read many pixels.
class ScreenBlock {
  public:
    explicit ScreenBlock(RECT screen) : m_rect(screen), m_pixels(CaptureScreen(screen)) {}
    bool Valid() const { return !m_pixels.empty(); }
    COLORREF At(POINT screen) const {
        const std::uint32_t v = m_pixels[static_cast<std::size_t>(screen.y - m_rect.top) * Width(m_rect) +
                                         static_cast<std::size_t>(screen.x - m_rect.left)];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }

  private:
    RECT m_rect;
    std::vector<std::uint32_t> m_pixels;
};

// The columns of the title strip that hold clock text: pixels that stand out from the strip's own
// colour in their row, between the menu box and the right frame. Empty when the strip is blank.
inline std::optional<std::pair<LONG, LONG>> StripTextColumns(HWND w) {
    const RECT client = ClientRect(w);
    const POINT origin = ToScreen(w, {0, 0});
    const LONG right = client.right - 3;
    ScreenBlock block(RECT{origin.x, origin.y, origin.x + client.right, origin.y + kStripHeight});
    if (!block.Valid()) {
        ADD_FAILURE() << "cannot copy the title strip from the screen";
        return std::nullopt;
    }
    std::optional<std::pair<LONG, LONG>> found;
    for (LONG y = 1; y < kStripHeight - 1; ++y) {
        const COLORREF strip = block.At({origin.x + right, origin.y + y});
        for (LONG x = 18; x < right; ++x) {
            if (ChannelDistance(block.At({origin.x + x, origin.y + y}), strip) > 40) {
                if (!found)
                    found = std::pair<LONG, LONG>{x, x};
                found->first = std::min(found->first, x);
                found->second = std::max(found->second, x);
            }
        }
    }
    return found;
}

// Waits until the strip does or does not hold text.
inline ::testing::AssertionResult StripHasText(HWND w, bool expected) {
    std::optional<std::pair<LONG, LONG>> columns;
    WaitUntil(
        [&] {
            columns = StripTextColumns(w);
            return columns.has_value() == expected;
        },
        kPixelWaitMs);
    if (columns.has_value() == expected)
        return ::testing::AssertionSuccess();
    if (expected)
        return ::testing::AssertionFailure() << "the title strip shows no text";
    return ::testing::AssertionFailure()
           << "the title strip shows text in columns " << columns->first << " to " << columns->second;
}

// A client point of the window's own background: clear of the strip, the frame and both controls.
inline std::optional<POINT> BackgroundPoint(HWND w) {
    const RECT client = ClientRect(w);
    std::vector<RECT> children;
    for (int id : {1000, 1001}) {
        if (HWND c = Child(w, id))
            children.push_back(RectInParent(c));
    }
    auto free = [&](POINT p) {
        for (const RECT& r : children) {
            if (PtInRect(&r, p))
                return false;
        }
        return true;
    };
    for (LONG y = kStripHeight + 2; y < client.bottom - 2; ++y) {
        for (LONG x : {client.right / 2, LONG{2}, client.right - 3}) {
            if (free({x, y}) && free({x - 1, y - 1}) && free({x + 1, y + 1}))
                return POINT{x, y};
        }
    }
    return std::nullopt;
}

// The desktop's colour next to the window, read before anything is drawn over that spot.
inline COLORREF DesktopNextTo(HWND w) {
    const RECT r = WindowRect(w);
    return ScreenPixel({r.left - 6, r.top + 6});
}

// ---- Dragging ----

// Whether the window's top-left corner is `anchor` away from the cursor at `cursor`, as it is while a
// drag holds the pressed point under the cursor.
//
// Under Wine the program's own X11 driver now and then maps the pointer warp of a move with the
// window's new origin and reports a cursor one step off for the next tenth of a second, which leaves
// the window one step away. After that tenth the cursor is read from the X server itself, so one more
// mouse-move message (the program reads the cursor, not the message's point) brings the window where
// the cursor really is. A drag that keeps any other point under the cursor never matches.
inline ::testing::AssertionResult SettlesUnderCursor(HWND w, POINT anchor, POINT cursor) {
    RECT r{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        Settle(w);
        r = WindowRect(w);
        if (cursor.x - r.left == anchor.x && cursor.y - r.top == anchor.y)
            return ::testing::AssertionSuccess();
        Pump(150);
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, 0);
    }
    return ::testing::AssertionFailure()
           << "with the cursor at (" << cursor.x << "," << cursor.y << ") the window is at (" << r.left << ","
           << r.top << "): client (" << cursor.x - r.left << "," << cursor.y - r.top
           << ") is under the cursor, not (" << anchor.x << "," << anchor.y << ")";
}

// ---- The context menu ----

inline std::vector<HWND> VisibleMenus(const QuillProcess& app) {
    std::vector<HWND> menus;
    for (HWND h : app.TopLevelWindows()) {
        if (IsWindowVisible(h) && ClassName(h) == L"#32768")
            menus.push_back(h);
    }
    return menus;
}

// Opens the context menu with a click on the menu box; the menu window, or nullptr and a failure.
inline HWND OpenMenu(QuillProcess& app, HWND w, POINT press = {16, 23}) {
    Click(w, press);
    HWND menu = nullptr;
    WaitUntil(
        [&] {
            auto menus = VisibleMenus(app);
            menu = menus.empty() ? nullptr : menus.front();
            return menu != nullptr;
        },
        3000);
    if (!menu)
        ADD_FAILURE() << "no menu opened from a press at client (" << press.x << "," << press.y << ")";
    return menu;
}

// Keys for the open menu: they go to the calendar window's thread, where the menu's loop reads them.
inline void MenuKeys(HWND w, std::initializer_list<WORD> keys) {
    for (WORD vk : keys)
        Key(w, vk);
}

inline bool WaitMenusClosed(const QuillProcess& app) {
    if (WaitUntil([&] { return VisibleMenus(app).empty(); }, 3000))
        return true;
    ADD_FAILURE() << "the menu stayed open";
    return false;
}

// Two presses on one spot in quick succession make a double click, which the window does not take as
// a press: the menu's drivers take turns between two points of the box.
inline POINT NextMenuBoxPoint() {
    static bool corner = false;
    corner = !corner;
    return corner ? POINT{16, 23} : POINT{4, 4};
}

// Top-level entries, counted from 0 as they stand: 0 colour, 1 style, 2 title, 3 time, 4 font.
// Picks item `item` (from 0, separators not counted) of the submenu at `entry`.
inline bool ChooseSubmenuItem(QuillProcess& app, HWND w, int entry, int item) {
    if (!OpenMenu(app, w, NextMenuBoxPoint()))
        return false;
    std::vector<WORD> keys(static_cast<std::size_t>(entry) + 1, VK_DOWN);
    keys.push_back(VK_RIGHT);
    keys.insert(keys.end(), static_cast<std::size_t>(item), VK_DOWN);
    keys.push_back(VK_RETURN);
    for (WORD vk : keys)
        Key(w, vk);
    return true;
}

// "关闭", the menu's last entry: the save path that ends the program.
inline bool CloseFromMenu(QuillProcess& app, HWND w) {
    if (!OpenMenu(app, w, NextMenuBoxPoint()))
        return false;
    MenuKeys(w, {VK_UP, VK_RETURN});
    return app.WaitForExit();
}

} // namespace e2e::look
