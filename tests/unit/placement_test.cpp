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
    const ScreenRect tallRight{1920, -300, 3120, 1620};
    const ScreenRect shortRight{1920, 0, 3200, 720};
    const ScreenRect leftAbove{-1280, -1024, 0, 0};
    const ScreenRect window{0, 0, 309, 275};
    const ScreenPoint centred{806, 403};
    struct Case {
        const char* name;
        std::vector<ScreenRect> monitors;
        ScreenPoint stored;
        ScreenPoint expected;
    } cases[] = {
        {"one monitor, on it", {primary}, {400, 300}, {400, 300}},
        {"one monitor, last pixel", {primary}, {1919, 1079}, {1919, 1079}},
        {"one monitor, right edge excluded", {primary}, {1920, 300}, centred},
        {"one monitor, above", {primary}, {100, -5}, centred},
        {"side by side, on the second", {primary, right}, {2500, 500}, {2500, 500}},
        {"side by side, first pixel of the second", {primary, right}, {1920, 0}, {1920, 0}},
        {"side by side, past the second", {primary, right}, {3840, 500}, centred},
        {"side by side, second listed first", {right, primary}, {10, 10}, {10, 10}},
        {"taller second, above the primary's top", {primary, tallRight}, {2000, -200}, {2000, -200}},
        {"taller second, same height left of it", {primary, tallRight}, {1900, -200}, centred},
        {"shorter second, below its foot", {primary, shortRight}, {2000, 900}, centred},
        {"shorter second, on its last row", {primary, shortRight}, {3199, 719}, {3199, 719}},
        {"negative coordinates, on it", {primary, leftAbove}, {-1280, -1024}, {-1280, -1024}},
        {"negative coordinates, its right edge", {primary, leftAbove}, {0, -1}, centred},
        {"negative coordinates, beside it", {primary, leftAbove}, {-5, 5}, centred},
        {"no monitors reported: the primary alone", {}, {400, 300}, {400, 300}},
        {"no monitors reported, off the primary", {}, {-400, 300}, centred},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceOnMonitors(c.monitors, primary, c.stored, window), c.expected) << c.name;
    }
    // A primary monitor that does not start at the origin is the one centred on.
    const ScreenRect offsetPrimary{-1024, 0, 0, 768};
    EXPECT_EQ(
        PlaceOnMonitors(std::vector<ScreenRect>{offsetPrimary, primary}, offsetPrimary, {5000, 5000}, window),
        (ScreenPoint{-666, 247}));
    // The one-monitor rule is the desktop rule it replaces.
    for (ScreenPoint p :
         {ScreenPoint{0, 0}, ScreenPoint{1023, 767}, ScreenPoint{1024, 0}, ScreenPoint{-1, 5}}) {
        const ScreenRect desktop{0, 0, 1024, 768};
        EXPECT_EQ(PlaceOnMonitors(std::vector<ScreenRect>{desktop}, desktop, p, window),
                  PlaceOnDesktop(desktop, p, window));
    }
}

// Each step is one message the window gets; `cursor` and `held` feed a move.
TEST(Placement, DragEndsAtReleaseLostCaptureOrAMoveWithoutTheButton) {
    enum Step { Press, Move, Release, CaptureLost };
    struct Event {
        Step step;
        bool held = true;
        std::optional<ScreenPoint> expected = std::nullopt; // for a move: where the window goes
        bool endedADrag = false;                            // for a release or a lost capture
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        bool activeAfter;
    } cases[] = {
        {"press, moves, release",
         {{Press},
          {Move, true, ScreenPoint{490, 390}},
          {Move, true, ScreenPoint{490, 390}},
          {Release, true, {}, true}},
         false},
        {"capture taken away mid-drag",
         {{Press},
          {Move, true, ScreenPoint{490, 390}},
          {CaptureLost, true, {}, true},
          {Move, true},
          {Move, true}},
         false},
        {"a move without the button ends it", {{Press}, {Move, false}, {Move, true}}, false},
        {"moves before any press", {{Move, true}, {Move, false}}, false},
        {"release without a press", {{Release, true, {}, false}, {Move, true}}, false},
        {"capture lost when idle", {{CaptureLost, true, {}, false}}, false},
        {"a new press after a lost capture drags again",
         {{Press}, {CaptureLost, true, {}, true}, {Press}, {Move, true, ScreenPoint{490, 390}}},
         true},
        {"still dragging", {{Press}, {Move, true, ScreenPoint{490, 390}}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowDrag drag;
        for (const Event& e : c.events) {
            switch (e.step) {
            case Press:
                drag.Begin({10, 10});
                break;
            case Move:
                EXPECT_EQ(drag.Follow({500, 400}, e.held), e.expected);
                break;
            case Release:
            case CaptureLost:
                EXPECT_EQ(drag.End(), e.endedADrag);
                break;
            }
        }
        EXPECT_EQ(drag.Active(), c.activeAfter);
    }
}

TEST(Placement, DragAnchorFollowsADpiChange) {
    struct Case {
        ClientPoint anchor;
        int from, to;
        ClientPoint expected;
    } cases[] = {
        {{150, 10}, 96, 144, {225, 15}}, {{225, 15}, 144, 96, {150, 10}}, {{101, 7}, 96, 120, {126, 9}},
        {{0, 0}, 96, 192, {0, 0}},       {{40, 20}, 144, 144, {40, 20}},
    };
    for (const Case& c : cases) {
        WindowDrag drag;
        drag.Begin(c.anchor);
        drag.Rescale(c.from, c.to);
        EXPECT_EQ(drag.Anchor(), c.expected) << c.from << " to " << c.to;
        EXPECT_TRUE(drag.Active());
    }
}
