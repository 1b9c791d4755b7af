// Placement maths: desktop membership, centring with truncation, the menu box and dragging.
#include <gtest/gtest.h>

#include "interaction/placement.h"

#include <climits>
#include <optional>
#include <vector>

using namespace quill;

TEST(Placement, IsPointOnDesktop) {
    const ScreenRect desktop{0, 0, 1024, 768};
    const ScreenRect leftMonitor{-1280, -200, 0, 824};
    struct Case {
        ScreenRect desktop;
        ScreenPoint point;
        bool expected;
    } cases[] = {
        {desktop, {0, 0}, true},          {desktop, {1023, 767}, true},
        {desktop, {1024, 0}, false},      {desktop, {0, 768}, false},
        {desktop, {1024, 768}, false},    {desktop, {-1, 0}, false},
        {desktop, {0, -1}, false},        {desktop, {400, 300}, true},
        {desktop, {-5000, -5000}, false}, {leftMonitor, {-1280, -200}, true},
        {leftMonitor, {-1, 823}, true},   {leftMonitor, {0, 0}, false},
        {leftMonitor, {-1281, 0}, false}, {{0, 0, 0, 0}, {0, 0}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPointOnDesktop(c.desktop, c.point), c.expected) << c.point.x << "," << c.point.y;
    }
}

TEST(Placement, CenterOnDesktop) {
    struct Case {
        ScreenRect desktop;
        ScreenRect window;
        ScreenPoint expected;
    } cases[] = {
        {{0, 0, 1024, 768}, {0, 0, 309, 254}, {358, 257}},
        {{0, 0, 1024, 768}, {-2000, 700, -1691, 954}, {358, 257}}, // only the size counts
        {{0, 0, 1024, 768}, {0, 0, 308, 253}, {358, 258}},
        {{0, 0, 1023, 767}, {0, 0, 1, 1}, {511, 383}},
        {{0, 0, 100, 100}, {0, 0, 300, 300}, {-100, -100}},
        // both halves truncate toward zero, separately: floor division would give -2 here
        {{-1, -1, 0, 0}, {0, 0, 3, 3}, {-1, -1}},
        {{-1280, -200, 0, 824}, {0, 0, 309, 254}, {-794, 185}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CenterOnDesktop(c.desktop, c.window), c.expected);
    }
    const ScreenPoint extreme =
        CenterOnDesktop({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX, INT_MAX, INT_MIN, INT_MIN});
    EXPECT_EQ(extreme, (ScreenPoint{INT_MAX, INT_MAX}));
}

TEST(Placement, MenuBoxEdges) {
    const ClientRect box{0, 0, 17, 24};
    struct Case {
        ClientPoint point;
        bool inside;
    } cases[] = {
        {{0, 0}, true},   {{16, 23}, true}, {{16, 0}, true},  {{0, 23}, true},     {{17, 0}, false},
        {{0, 24}, false}, {{-1, 5}, false}, {{5, -1}, false}, {{100, 100}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsInMenuBox(box, c.point), c.inside) << c.point.x << "," << c.point.y;
    }
    EXPECT_EQ(MenuDropPoint(box), (ClientPoint{0, 24}));
}

TEST(Placement, DragKeepsThePressedPointUnderTheCursor) {
    struct Case {
        ScreenPoint cursor;
        ClientPoint anchor;
        ScreenPoint expected;
    } cases[] = {
        {{500, 400}, {100, 50}, {400, 350}},
        {{-50, 10}, {100, 50}, {-150, -40}},
        {{100, 50}, {100, 50}, {0, 0}},
        {{INT_MIN, INT_MAX}, {1, -1}, {INT_MIN, INT_MAX}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DragPosition(c.cursor, c.anchor), c.expected);
    }
}

// The stored corner is kept when it lies on any monitor, else the window is centred on the primary one;
// with one monitor that is the desktop rule.
TEST(Placement, MonitorRule) {
    const ScreenRect primary{0, 0, 1920, 1080};
    const ScreenRect right{1920, 0, 3840, 1080};
    const ScreenRect shortRight{1920, 0, 3200, 720};
    const ScreenRect leftAbove{-1280, -1024, 0, 0};
    const ScreenPoint centred{806, 403};
    struct Case {
        const char* name;
        std::vector<ScreenRect> monitors;
        ScreenPoint stored;
        ScreenPoint expected;
    } cases[] = {
        {"one monitor, last pixel", {primary}, {1919, 1079}, {1919, 1079}},
        {"one monitor, right edge excluded", {primary}, {1920, 300}, centred},
        {"side by side, first pixel of the second", {primary, right}, {1920, 0}, {1920, 0}},
        {"side by side, past the second", {primary, right}, {3840, 500}, centred},
        {"shorter second, on its last row", {primary, shortRight}, {3199, 719}, {3199, 719}},
        {"shorter second, below its foot", {primary, shortRight}, {2000, 900}, centred},
        {"negative coordinates, on it", {primary, leftAbove}, {-1280, -1024}, {-1280, -1024}},
        {"negative coordinates, its right edge", {primary, leftAbove}, {0, -1}, centred},
        {"no monitors reported: the primary alone", {}, {400, 300}, {400, 300}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceOnMonitors(c.monitors, primary, c.stored, {0, 0, 309, 275}), c.expected) << c.name;
}

// Each step is one message the window gets; a move reports where the window goes, if anywhere.
TEST(Placement, DragEndsAtReleaseLostCaptureOrAMoveWithoutTheButton) {
    enum Step { Press, Held, NotHeld, End };
    const std::optional<ScreenPoint> follows = ScreenPoint{490, 390};
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::optional<ScreenPoint>> moves;
        bool activeAfter;
    } cases[] = {
        {"press, moves, release", {Press, Held, Held, End, Held}, {follows, follows, std::nullopt}, false},
        {"a move without the button ends it", {Press, NotHeld, Held}, {std::nullopt, std::nullopt}, false},
        {"moves before any press", {Held, End, Held}, {std::nullopt, std::nullopt}, false},
        {"a new press after a lost capture", {Press, End, Press, Held}, {follows}, true},
    };
    for (const Case& c : cases) {
        WindowDrag drag;
        std::vector<std::optional<ScreenPoint>> moves;
        for (Step step : c.steps) {
            if (step == Press)
                drag.Begin({10, 10});
            else if (step == End)
                drag.End();
            else
                moves.push_back(drag.Follow({500, 400}, step == Held));
        }
        EXPECT_EQ(moves, c.moves) << c.name;
        EXPECT_EQ(drag.Active(), c.activeAfter) << c.name;
    }
    // A DPI change under a drag scales the pressed point with the window.
    WindowDrag drag;
    drag.Begin({150, 10});
    drag.Rescale(96, 144);
    EXPECT_EQ(drag.Anchor(), (ClientPoint{225, 15}));
}
