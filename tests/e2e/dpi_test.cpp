// End-to-end tests on a display of 144 DPI (150%): the strip, the menu box, the frames and the corners
// at one and a half times their size, the menu opening from the whole scaled box, the clock drawn with
// a font one and a half times as high rather than stretched, the note box reaching the foot of the
// window, and the position kept in pixels. They need a Wine prefix (or a Windows session) at 144 DPI;
// anywhere else they are skipped.
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e::look {
namespace {

constexpr int kDpi = 144;
// The window's sizes at 144 DPI, written out from 96 DPI's: 23 * 1.5 = 34.5 and 17 * 1.5 = 25.5
// round up; one-pixel lines stay one pixel.
constexpr int kStrip = 35;
constexpr int kLine = 1;
constexpr int kBoxWidth = 26;
constexpr int kBoxHeight = kStrip + kLine;

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

TEST_F(Dpi144, StripMenuBoxFramesAndCornersAreScaled) {
    const SchemeColors& c = kSchemes[0];
    CalendarSettings s = FlatAt(200, 150);
    s.m_nCornerStyle = 2;
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    const RECT client = ClientRect(w);
    const LONG W = client.right, H = client.bottom;
    const COLORREF desktop = DesktopNextTo(w);
    const LONG mid = W / 2;

    struct Expect {
        const char* what;
        POINT at;
        COLORREF colour;
    } expected[] = {
        {"strip, last row", {mid, kStrip - 1}, c.back},
        {"line under the strip", {mid, kStrip}, c.accent},
        {"line under the strip, left end", {2, kStrip}, c.accent},
        {"background under the line", {1, kStrip + 1}, c.back},
        {"top frame", {mid, 0}, c.accent},
        {"strip under the top frame", {mid, 1}, c.back},
        {"left frame", {0, kStrip + 10}, c.accent},
        {"inside the left frame", {1, kStrip + 10}, c.back},
        {"right frame", {W - 1, kStrip + 10}, c.accent},
        {"inside the right frame", {W - 2, kStrip + 10}, c.back},
        {"menu box frame", {kBoxWidth - 1, 18}, c.accent},
        {"inside the menu box frame", {kBoxWidth - 2, 18}, c.back},
        {"strip right of the menu box", {kBoxWidth, 18}, c.back},
        {"triangle fill", {12, 16}, c.accent},
        {"triangle outline, top edge", {12, 14}, c.text},
        {"triangle outline, left end", {5, 14}, c.text},
        {"triangle outline, right end", {20, 14}, c.text},
        {"triangle outline, tip", {12, 21}, c.text},
        {"below the triangle", {12, 23}, c.back},
    };
    for (const Expect& e : expected)
        EXPECT_TRUE(PixelIs(w, e.at, e.colour)) << e.what;

    // Corners of a 15-pixel radius at 96 DPI are cut with 23 at 144: (2, 2) lies outside the scaled
    // curve but inside the unscaled one.
    for (POINT p : {POINT{2, 2}, POINT{W - 3, 2}, POINT{2, H - 3}, POINT{W - 3, H - 3}})
        EXPECT_TRUE(PixelIs(w, p, desktop, 2)) << "(" << p.x << "," << p.y << ") should be cut away";
    for (POINT p : {POINT{7, 7}, POINT{W - 8, 7}})
        EXPECT_GT(ChannelDistance(ScreenPixel(ToScreen(w, p)), desktop), 10)
            << "(" << p.x << "," << p.y << ")";
}

TEST_F(Dpi144, MenuOpensFromTheWholeScaledBoxOnly) {
    QuillProcess app;
    HWND w = StartWith(app, FlatAt(200, 150));
    ASSERT_NE(w, nullptr);

    // Just right of the box: a drag, no menu.
    const POINT right{kBoxWidth, 5};
    const POINT from = ToScreen(w, right);
    const POINT to{from.x + 12, from.y + 9};
    PressAt(from);
    MoveTo(to);
    EXPECT_TRUE(SettlesUnderCursor(w, right, to)) << "a press right of the box did not drag";
    ReleaseAt(to);
    Settle(w);
    EXPECT_TRUE(VisibleMenus(app).empty());

    // The box's last pixel opens the menu, dropped just under the box.
    HWND menu = OpenMenu(app, w, {kBoxWidth - 1, kBoxHeight - 1});
    ASSERT_NE(menu, nullptr);
    const RECT menuRect = WindowRect(menu);
    const POINT drop = ToScreen(w, {0, kBoxHeight});
    EXPECT_EQ(menuRect.left, drop.x);
    EXPECT_EQ(menuRect.top, drop.y);
    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);

    // The keyboard's menu opens at the same place.
    HWND calendar = Child(w, 1000);
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(w) == calendar; }, 3000));
    Chord(w, {VK_SHIFT, VK_F10});
    ASSERT_TRUE(WaitUntil([&] { return !VisibleMenus(app).empty(); }, 3000)) << "Shift+F10 opened no menu";
    const RECT keyRect = WindowRect(VisibleMenus(app).front());
    EXPECT_EQ(keyRect.left, drop.x);
    EXPECT_EQ(keyRect.top, drop.y);
    Key(w, VK_ESCAPE);
    WaitMenusClosed(app);
}

// Which pixels of a block differ from its background by more than `threshold`: the ink of a text.
struct Ink {
    LONG left = LONG_MAX, top = LONG_MAX, right = -1, bottom = -1;
    std::vector<POINT> pixels; // relative to (left, top)
    LONG Width() const { return right - left + 1; }
    LONG Height() const { return bottom - top + 1; }
};

Ink InkOf(const std::vector<std::uint32_t>& block, LONG width, LONG height, COLORREF background,
          int threshold = 60) {
    Ink ink;
    std::vector<POINT> absolute;
    for (LONG y = 0; y < height; ++y) {
        for (LONG x = 0; x < width; ++x) {
            const std::uint32_t v = block[static_cast<std::size_t>(y) * width + x];
            if (ChannelDistance(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF), background) > threshold) {
                absolute.push_back({x, y});
                ink.left = std::min(ink.left, x);
                ink.top = std::min(ink.top, y);
                ink.right = std::max(ink.right, x);
                ink.bottom = std::max(ink.bottom, y);
            }
        }
    }
    for (POINT p : absolute)
        ink.pixels.push_back({p.x - ink.left, p.y - ink.top});
    return ink;
}

// The text drawn here, in the driver, with the font the program is asked for at a given height, in
// the strip's colours.
Ink DrawnHere(const std::wstring& text, const CalendarSettings& s, int height) {
    const LONG width = 600, rows = 80;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -rows, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
    HBRUSH back = CreateSolidBrush(kSchemes[0].back);
    RECT all{0, 0, width, rows};
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
    std::vector<std::uint32_t> block(p, p + width * rows);
    SelectObject(mem, oldFont);
    DeleteObject(font);
    SelectObject(mem, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return InkOf(block, width, rows, kSchemes[0].back);
}

TEST_F(Dpi144, ClockIsDrawnWithAFontOneAndAHalfTimesAsHigh) {
    const std::wstring text = L"Quill 48";
    CalendarSettings s = FlatAt(200, 150);
    s.m_strCustomFormat = "Quill 48";
    QuillProcess app;
    HWND w = StartWith(app, s);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(PixelIs(w, {12, 16}, kSchemes[0].accent)) << "the window is not painted";
    const RECT client = ClientRect(w);
    // The strip between the menu box and the right frame, clear of both frames' rows.
    const POINT origin = ToScreen(w, {kBoxWidth + 2, kLine});
    const LONG width = client.right - kBoxWidth - 2 - 2 * kLine, rows = kStrip - kLine;
    Ink onScreen;
    WaitUntil(
        [&] {
            onScreen = InkOf(CaptureScreen({origin.x, origin.y, origin.x + width, origin.y + rows}), width,
                             rows, kSchemes[0].back);
            return !onScreen.pixels.empty();
        },
        kPixelWaitMs);
    ASSERT_FALSE(onScreen.pixels.empty()) << "the strip shows no text";

    const Ink scaled = DrawnHere(text, s, -24);
    const Ink unscaled = DrawnHere(text, s, -16);
    ASSERT_FALSE(scaled.pixels.empty());
    // The same font drawn at 24 pixels here and in the strip gives the same ink, pixel for pixel: a
    // stretched 16-pixel text would be as large but blurred or blocky.
    EXPECT_EQ(onScreen.Width(), scaled.Width());
    EXPECT_EQ(onScreen.Height(), scaled.Height());
    EXPECT_EQ(onScreen.pixels.size(), scaled.pixels.size());
    std::size_t same = 0;
    for (std::size_t i = 0; i < std::min(onScreen.pixels.size(), scaled.pixels.size()); ++i) {
        same += onScreen.pixels[i].x == scaled.pixels[i].x && onScreen.pixels[i].y == scaled.pixels[i].y;
    }
    EXPECT_EQ(same, scaled.pixels.size()) << "the strip's text is not the 24-pixel font's";
    EXPECT_GT(onScreen.Width(), unscaled.Width() * 13 / 10) << "the text is as wide as at 96 DPI";
    // Centred on the whole strip, as at 96 DPI.
    const LONG inkCentre = kBoxWidth + 2 + (onScreen.left + onScreen.right) / 2;
    EXPECT_NEAR(inkCentre, client.right / 2, 3);
}

TEST_F(Dpi144, NoteBoxReachesTheFootAndThePositionIsKeptInPixels) {
    QuillProcess app;
    HWND w = StartWith(app, FlatAt(200, 150));
    ASSERT_NE(w, nullptr);
    const RECT placed = WindowRect(w);
    EXPECT_EQ(placed.left, 200);
    EXPECT_EQ(placed.top, 150);
    // The template's size at this DPI; the note box gets 13 pixels at 96 DPI more, 20 here.
    const SIZE size = DialogSizeToPixels(206, 169);
    EXPECT_EQ(Width(placed), size.cx);
    EXPECT_EQ(Height(placed), size.cy);
    const RECT templateBox = DialogUnitsToPixels(1, 114, 204, 46);
    const RECT box = RectInParent(Child(w, 1001));
    EXPECT_EQ(box.top, templateBox.top);
    EXPECT_EQ(box.bottom, templateBox.bottom + 20);

    // Dragged and closed: the file holds the corner in the screen's own pixels.
    const POINT anchor{150, 15};
    const POINT from = ToScreen(w, anchor);
    const POINT to{from.x + 60, from.y + 45};
    PressAt(from);
    MoveTo({from.x + 30, from.y + 20});
    MoveTo(to);
    ASSERT_TRUE(SettlesUnderCursor(w, anchor, to));
    ReleaseAt(to);
    Settle(w);
    const RECT moved = WindowRect(w);
    ASSERT_TRUE(CloseFromMenu(app, w));
    const std::optional<std::string> bytes = app.ReadTempFile(kSettingsFile);
    ASSERT_TRUE(bytes.has_value() && bytes->size() >= 28);
    EXPECT_EQ(Int32At(*bytes, 20), moved.left);
    EXPECT_EQ(Int32At(*bytes, 24), moved.top);
}

} // namespace
} // namespace e2e::look
