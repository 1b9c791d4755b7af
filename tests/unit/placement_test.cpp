// Placement maths: desktop membership, centring with truncation, the menu box and dragging.
#include <gtest/gtest.h>

#include "interaction/placement.h"

#include <climits>

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
