// End-to-end tests on a display of 144 DPI (150%): the strip, the menu box, the triangle and the
// corners at one and a half times their size with one-pixel frames, the menu opening from the whole
// scaled box, the note box reaching the foot of the window, the position kept in pixels, and the clock
// drawn with a font one and a half times as high rather than stretched. They need a Wine prefix (or a
// Windows session) at 144 DPI; anywhere else they are skipped.
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace e2e::look {
namespace {

constexpr int kDpi = 144;
// The window's sizes at 144 DPI, written out from 96 DPI's: 23 * 1.5 = 34.5 and 17 * 1.5 = 25.5
// round up; one-pixel lines stay one pixel.
constexpr int kStrip = 35;
constexpr int kBoxWidth = 26;
constexpr int kBoxHeight = kStrip + 1;

class Dpi144 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The driver reads the program's windows and pixels as they are on the screen; a driver
        // the system thinks unaware of DPI would get every coordinate scaled down.
        using SetContextFn = BOOL(WINAPI*)(HANDLE);
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const auto setContext = reinterpret_cast<SetContextFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
        if (!setContext || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
            SetProcessDPIAware();
    }

    void SetUp() override {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpi != kDpi)
            GTEST_SKIP() << "the display has " << dpi << " DPI; these tests run at " << kDpi;
    }
};

// The flat strip (no gradient) shows where it ends: the line under it is the accent colour.
CalendarSettings FlatAt(int x, int y) {
    CalendarSettings s = QuietSettingsAt(x, y);
    s.m_nGradient = 9;
    return s;
}

TEST_F(Dpi144, TheWindowIsOneAndAHalfTimesItsSize) {
    const SchemeColors& c = kSchemes[0];
    CalendarSettings s = FlatAt(200, 150);
    s.m_nCornerStyle = 2;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    // The template's size at this DPI, at the stored corner in the screen's own pixels.
    const RECT placed = WindowRect(w);
    const SIZE size = DialogSizeToPixels(206, 169);
    EXPECT_TRUE(placed.left == 200 && placed.top == 150 && Width(placed) == size.cx &&
                Height(placed) == size.cy)
        << "the window is at (" << placed.left << "," << placed.top << "), " << Width(placed) << " by "
        << Height(placed);
    const LONG W = size.cx, H = size.cy, mid = W / 2;
    const COLORREF desktop = DesktopNextTo(w);
    struct Expect {
        const char* what;
        POINT at;
        COLORREF colour;
    } expected[] = {
        {"strip, last row", {mid, kStrip - 1}, c.back},
        {"line under the strip", {mid, kStrip}, c.accent},
        {"top frame", {mid, 0}, c.accent},
        {"strip under the top frame", {mid, 1}, c.back},
        {"left frame", {0, kStrip + 10}, c.accent},
        {"inside the left frame", {1, kStrip + 10}, c.back},
        {"menu box frame", {kBoxWidth - 1, 18}, c.accent},
        {"strip right of the menu box", {kBoxWidth, 18}, c.back},
        {"triangle fill", {12, 16}, c.accent},
        {"triangle outline, top edge", {12, 14}, c.text},
        {"triangle outline, tip", {12, 21}, c.text},
        {"below the triangle", {12, 23}, c.back},
    };
    for (const Expect& e : expected)
        EXPECT_TRUE(PixelIs(w, e.at, e.colour)) << e.what;
    // A 15-pixel radius at 96 DPI is 23 here: (2, 2) lies outside that curve, inside the unscaled one.
    for (POINT p : {POINT{2, 2}, POINT{W - 3, 2}, POINT{2, H - 3}, POINT{W - 3, H - 3}})
        EXPECT_TRUE(PixelIs(w, p, desktop, 2)) << "(" << p.x << "," << p.y << ") should be cut away";
    EXPECT_GT(ChannelDistance(ScreenPixel(ToScreen(w, {7, 7})), desktop), 10);

    // The note box gets 13 pixels at 96 DPI more than its template rectangle, 20 here.
    const RECT templateBox = DialogUnitsToPixels(1, 114, 204, 46);
    const RECT box = RectInParent(Child(w, 1001));
    EXPECT_EQ(box.top, templateBox.top);
    EXPECT_EQ(box.bottom, templateBox.bottom + 20);

    // The box's last pixel opens the menu, dropped just under the box.
    HWND menu = OpenMenu(app, w, {kBoxWidth - 1, kBoxHeight - 1});
    ASSERT_NE(menu, nullptr);
    const RECT menuRect = WindowRect(menu);
    const POINT drop = ToScreen(w, {0, kBoxHeight});
    EXPECT_EQ(menuRect.left, drop.x);
    EXPECT_EQ(menuRect.top, drop.y);
    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);
}

// The pixels of a block that stand out from the strip's colour, relative to the first of them: the
// ink of a text, whatever its position.
using Ink = std::vector<std::pair<LONG, LONG>>;

Ink InkOf(const std::vector<std::uint32_t>& block, LONG width) {
    Ink ink;
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::uint32_t v = block[i];
        if (ChannelDistance(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF), kSchemes[0].back) > 60)
            ink.push_back({static_cast<LONG>(i) % width, static_cast<LONG>(i) / width});
    }
    LONG left = LONG_MAX;
    for (const auto& p : ink)
        left = std::min(left, p.first);
    const LONG top = ink.empty() ? 0 : ink.front().second;
    for (auto& p : ink)
        p = {p.first - left, p.second - top};
    return ink;
}

// The text drawn here, in the driver, with the font the program is asked for at `height`, in the
// strip's colours.
Ink DrawnHere(const std::wstring& text, const CalendarSettings& s, int height) {
    const LONG width = 600, rows = 80;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -rows, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC mem = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
    HBRUSH back = CreateSolidBrush(kSchemes[0].back);
    const RECT all{0, 0, width, rows};
    FillRect(mem, &all, back);
    DeleteObject(back);
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = s.m_lfFont.lfWeight;
    const std::string face(FaceName(s.m_lfFont));
    MultiByteToWideChar(CP_ACP, 0, face.c_str(), -1, lf.lfFaceName, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ oldFont = SelectObject(mem, font);
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, kSchemes[0].text);
    TextOutW(mem, 10, 10, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    const Ink ink = InkOf(std::vector<std::uint32_t>(p, p + width * rows), width);
    SelectObject(mem, oldFont);
    DeleteObject(font);
    SelectObject(mem, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
    return ink;
}

TEST_F(Dpi144, ClockIsDrawnWithAFontOneAndAHalfTimesAsHigh) {
    CalendarSettings s = FlatAt(200, 150);
    s.m_strCustomFormat = "Quill 48";
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(PixelIs(w, {12, 16}, kSchemes[0].accent)) << "the window is not painted";
    // The strip between the menu box and the right frame, clear of the frames.
    const LONG width = ClientRect(w).right - kBoxWidth - 4, rows = kStrip - 1;
    const POINT origin = ToScreen(w, {kBoxWidth + 2, 1});
    Ink onScreen;
    WaitUntil(
        [&] {
            onScreen = InkOf(CaptureScreen({origin.x, origin.y, origin.x + width, origin.y + rows}), width);
            return !onScreen.empty();
        },
        kPixelWaitMs);
    ASSERT_FALSE(onScreen.empty()) << "the strip shows no text";
    // The same font drawn at 24 pixels here leaves the same ink, pixel for pixel; a 16-pixel text, or
    // one stretched to this size, would not.
    EXPECT_EQ(onScreen, DrawnHere(L"Quill 48", s, -24)) << "the strip's text is not the 24-pixel font's";
}

} // namespace
} // namespace e2e::look
