// End-to-end tests of dragging and placement: the pressed point stays under the cursor, the window
// comes back where it was left, a top-left corner off the primary screen brings it back centred, and
// the settings file of a first start.
#include "look_helpers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace e2e::look {
namespace {

POINT CentredFor(HWND w) {
    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const RECT r = WindowRect(w);
    return {(desktop.left + desktop.right) / 2 - Width(r) / 2,
            (desktop.top + desktop.bottom) / 2 - Height(r) / 2};
}

::testing::AssertionResult IsAt(HWND w, POINT topLeft) {
    const RECT r = WindowRect(w);
    if (r.left == topLeft.x && r.top == topLeft.y)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window is at (" << r.left << "," << r.top << "), expected ("
                                         << topLeft.x << "," << topLeft.y << ")";
}

HWND CaptureOf(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info);
    return info.hwndCapture;
}

// Enter on the focused calendar is the save path; unlike the menu it needs no visible menu box.
bool CloseWithEnter(QuillProcess& app, HWND w) {
    HWND calendar = Child(w, 1000);
    if (!WaitUntil([&] { return FocusedWindow(w) == calendar; }, 3000)) {
        ADD_FAILURE() << "the calendar never had the focus";
        return false;
    }
    Key(w, VK_RETURN);
    return app.WaitForExit();
}

// Starts a second run on the first run's temporary folder.
HWND Restart(QuillProcess& next, const QuillProcess& previous) {
    next.ShareTempFolderWith(previous);
    if (!next.Start())
        return nullptr;
    return next.WaitForWindow();
}

// The first start's file, byte for byte, with the window at (x, y).
std::string DefaultFileAt(std::int32_t x, std::int32_t y) {
    auto le = [](std::int32_t v) {
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i)
            b[static_cast<std::size_t>(i)] =
                static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
        return b;
    };
    std::string face = "Bradley Hand ITC";
    for (char& ch : face)
        ch = static_cast<char>(static_cast<unsigned char>(ch) - kFileKey);
    return std::string("\0\0\0\0"
                       "\0\0\0\0"
                       "\x0F\0\0\0"
                       "\0\0\0\0"
                       "\x2B\0\0\0",
                       20) +
           le(x) + le(y) +
           std::string("\xF0\xFF\xFF\xFF"
                       "\0\0"
                       "\x58\x02\0\0"
                       "\x10",
                       11) +
           face + std::string("\x0A\xCA\xB1\xBC\xE4 %H:%M", 11);
}

// Closes with Enter, then checks that the settings file holds `at` and that the next start puts the
// window there.
void ExpectSavedAndRestoredAt(QuillProcess& app, HWND w, POINT at) {
    ASSERT_TRUE(CloseWithEnter(app, w));
    const std::optional<std::string> bytes = app.ReadTempFile(kSettingsFile);
    ASSERT_TRUE(bytes.has_value() && bytes->size() >= 28);
    EXPECT_EQ(Int32At(*bytes, 20), at.x);
    EXPECT_EQ(Int32At(*bytes, 24), at.y);

    QuillProcess again;
    HWND w2 = Restart(again, app);
    ASSERT_NE(w2, nullptr);
    EXPECT_TRUE(IsAt(w2, at));
}

TEST(Placement, FirstStartIsCentredAndSavesTheDefaults) {
    QuillProcess app;
    ASSERT_TRUE(app.Start());
    HWND w = app.WaitForWindow();
    ASSERT_NE(w, nullptr);
    const POINT centre = CentredFor(w);
    EXPECT_TRUE(IsAt(w, centre));
    ASSERT_TRUE(CloseWithEnter(app, w));
    EXPECT_TRUE(SameBytes(app.ReadTempFile(kSettingsFile), DefaultFileAt(centre.x, centre.y)));
}

TEST(Placement, DragKeepsThePressedPointUnderTheCursorAndTheWindowStaysWhereLeft) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(120, 100));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(IsAt(w, {120, 100}));

    const POINT anchor{150, 10};
    const POINT from = ToScreen(w, anchor);
    PressAt(from);
    for (int i = 1; i <= 3; ++i) {
        const POINT at{from.x + 74 * i, from.y + 46 * i};
        MoveTo(at);
        EXPECT_TRUE(SettlesUnderCursor(w, anchor, at)) << "step " << i;
        EXPECT_EQ(CaptureOf(w), w) << "step " << i;
    }
    const POINT to{from.x + 222, from.y + 138};
    ReleaseAt(to);
    Settle(w);
    EXPECT_EQ(CaptureOf(w), nullptr) << "the release kept the mouse captured";
    const POINT left{to.x - anchor.x, to.y - anchor.y};
    EXPECT_TRUE(IsAt(w, left));
    // Released: moving on does not take the window along.
    MoveTo({to.x + 30, to.y + 20});
    Settle(w);
    EXPECT_TRUE(IsAt(w, left)) << "the window still follows the mouse after the release";

    ExpectSavedAndRestoredAt(app, w, left);
}

TEST(Placement, DraggedOffTheScreenComesBackCentred) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    // The top-left corner goes past the left edge; most of the window is still on the screen.
    const POINT anchor{100, 10};
    const POINT from = ToScreen(w, anchor);
    const POINT to{40, 200};
    PressAt(from);
    MoveTo({(from.x + to.x) / 2, (from.y + to.y) / 2});
    MoveTo(to);
    ASSERT_TRUE(SettlesUnderCursor(w, anchor, to));
    ReleaseAt(to);
    Settle(w);
    ASSERT_LT(WindowRect(w).left, 0);
    const POINT centre = CentredFor(w);

    ExpectSavedAndRestoredAt(app, w, centre);
}

struct StoredPlace {
    const char* name;
    POINT stored;
    bool kept; // else centred
};

void PrintTo(const StoredPlace& c, std::ostream* os) {
    *os << c.name;
}

class PlacementStored : public ::testing::TestWithParam<StoredPlace> {};

// Only the top-left corner is tested: the rest of the window may hang over the right and bottom
// edges, while a corner past any edge (right and bottom exclusive) brings the window to the centre.
TEST_P(PlacementStored, TopLeftCornerDecides) {
    const StoredPlace& c = GetParam();
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(c.stored.x, c.stored.y));
    ASSERT_NE(w, nullptr);
    const POINT expected = c.kept ? c.stored : CentredFor(w);
    EXPECT_TRUE(IsAt(w, expected));

    ASSERT_TRUE(CloseWithEnter(app, w));
    const std::optional<std::string> bytes = app.ReadTempFile(kSettingsFile);
    ASSERT_TRUE(bytes.has_value() && bytes->size() >= 28);
    EXPECT_EQ(Int32At(*bytes, 20), expected.x);
    EXPECT_EQ(Int32At(*bytes, 24), expected.y);
}

INSTANTIATE_TEST_SUITE_P(Placement, PlacementStored,
                         ::testing::Values(StoredPlace{"OverTheRightAndBottomEdges", {900, 600}, true},
                                           StoredPlace{"OnTheLastPixel", {1023, 767}, true},
                                           StoredPlace{"LeftOfTheScreen", {-1, 100}, false},
                                           StoredPlace{"AboveTheScreen", {100, -5}, false},
                                           StoredPlace{"JustPastTheRightEdge", {1024, 100}, false},
                                           StoredPlace{"JustPastTheBottomEdge", {100, 768}, false}),
                         [](const ::testing::TestParamInfo<StoredPlace>& info) {
                             return std::string(info.param.name);
                         });

TEST(Placement, ReleaseWithoutPressLeavesTheWindowIdle) {
    QuillProcess app;
    HWND w = StartWith(app, QuietSettingsAt(200, 150));
    ASSERT_NE(w, nullptr);
    const POINT over = ToScreen(w, {150, 10});
    ReleaseAt(over);
    Settle(w);
    MoveTo({over.x + 40, over.y + 30});
    MoveTo({over.x + 60, over.y + 50});
    Settle(w);
    EXPECT_TRUE(IsAt(w, {200, 150})) << "a release with no press started a drag";
    EXPECT_EQ(CaptureOf(w), nullptr);

    // Still idle, not stuck: a real drag afterwards takes it along as ever.
    const POINT to{over.x + 25, over.y + 15};
    PressAt(over);
    MoveTo(to);
    EXPECT_TRUE(SettlesUnderCursor(w, {150, 10}, to));
    ReleaseAt(to);
}

} // namespace
} // namespace e2e::look
