// Tray icon record and click decisions; the link control's look and hover state machine.
#include <gtest/gtest.h>

#include "interaction/link_state.h"
#include "interaction/tray_record.h"

#include <string_view>

using namespace quill;

TEST(TrayRecord, WithAndWithoutBalloon) {
    const TrayRecord plain = MakeTrayRecord(false);
    EXPECT_EQ(plain.id, 118u);
    EXPECT_EQ(plain.callbackMessage, 117u);
    EXPECT_EQ(plain.flags, 7u);
    EXPECT_EQ(plain.tip, "Quillidar");
    EXPECT_FALSE(plain.balloon);
    EXPECT_TRUE(plain.balloonTitle.empty());
    EXPECT_TRUE(plain.balloonText.empty());

    const TrayRecord first = MakeTrayRecord(true);
    EXPECT_EQ(first.id, 118u);
    EXPECT_EQ(first.callbackMessage, 117u);
    EXPECT_EQ(first.flags, 0x17u);
    EXPECT_EQ(first.tip, "Quillidar");
    EXPECT_TRUE(first.balloon);
    EXPECT_EQ(first.balloonTitle, "Quillidar \xD4\xDA\xD5\xE2\xC0\xEF\xA3\xA1");
    EXPECT_EQ(first.balloonText,
              "\xD3\xD2\xBC\xFC\xB5\xA5\xBB\xF7 - \xCF\xD4\xCA\xBE\xB2\xCB\xB5\xA5\r\n"
              "\xD7\xF3\xBC\xFC\xB5\xA5\xBB\xF7 - \xC9\xE8\xD6\xC3\xC8\xD5\xC0\xFA\xC7\xB0\xBE\xB0");
    EXPECT_EQ(first.timeoutMs, 300u);
    EXPECT_EQ(first.infoFlags, 1u);
}

TEST(TrayRecord, ClickDecisions) {
    struct Case {
        std::int64_t lParam;
        TrayAction action;
        TrayAction withBoxOpen;
    } cases[] = {
        {0x205, TrayAction::ShowMenu, TrayAction::BringToFront},     // right button up
        {0x201, TrayAction::BringToFront, TrayAction::BringToFront}, // left button down
        {0x200, TrayAction::None, TrayAction::None},                 // move
        {0x202, TrayAction::None, TrayAction::None},                 // left button up
        {0x203, TrayAction::None, TrayAction::None},                 // left double click
        {0x204, TrayAction::None, TrayAction::None},                 // right button down
        {0x206, TrayAction::None, TrayAction::None},                 // right double click
        {0x207, TrayAction::None, TrayAction::None},                 // middle button
        {0, TrayAction::None, TrayAction::None},
        {0x100000205, TrayAction::None, TrayAction::None},
        {-0x205, TrayAction::None, TrayAction::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideTrayAction(c.lParam), c.action) << std::hex << c.lParam;
        EXPECT_EQ(DecideTrayAction(c.lParam, true), c.withBoxOpen) << "box open, " << std::hex << c.lParam;
    }
}

TEST(TrayRecord, RetriesSpreadOverTheFirstMinuteThenStop) {
    unsigned total = 0;
    unsigned previous = 0;
    int tries = 1;
    for (; TrayRetryDelayMs(tries) != 0; ++tries) {
        EXPECT_GE(TrayRetryDelayMs(tries), previous) << "try " << tries;
        previous = TrayRetryDelayMs(tries);
        total += previous;
    }
    EXPECT_GE(tries, 4) << "too few tries to outlast a slow sign-in";
    EXPECT_GE(total, 50000u);
    EXPECT_LE(total, 70000u);
    EXPECT_EQ(TrayRetryDelayMs(0), 0u);
    EXPECT_EQ(TrayRetryDelayMs(-1), 0u);
    EXPECT_EQ(TrayRetryDelayMs(1000), 0u);
}

TEST(LinkLook, InitialAndPresetTwo) {
    const LinkLook initial = InitialLinkLook();
    const LinkColors grey{0x00323232, 0x00FAFAFA, 0x00969696};
    EXPECT_EQ(initial.normal, grey);
    EXPECT_EQ(initial.hover, grey);
    EXPECT_EQ(initial.radius, 5);

    const Colorref buttonFace = 0x00F0F0F0;
    const LinkColors onFace{0x00FA0000, buttonFace, buttonFace};
    LinkLook custom = initial;
    custom.radius = 9;
    const LinkLook preset = ApplyLinkPreset(custom, 2, buttonFace);
    EXPECT_EQ(preset.normal, onFace);
    EXPECT_EQ(preset.hover, onFace);
    EXPECT_EQ(preset.radius, 9);
    for (int other : {0, 1, 3, -2}) {
        EXPECT_EQ(ApplyLinkPreset(custom, other, buttonFace), custom) << other;
    }
}

TEST(LinkHover, Transitions) {
    const ScreenRect window{100, 200, 150, 216};
    LinkEffects none;
    LinkEffects enter;
    enter.setHoverFont = true;
    enter.startTimer = true;
    LinkEffects leave;
    leave.setNormalFont = true;
    leave.killTimer = true;
    leave.redraw = true;

    struct Step {
        const char* what;
        bool move;
        unsigned timer;
        ScreenPoint cursor;
        LinkEffects effects;
        bool hoveredAfter;
    } steps[] = {
        {"pointer arrives", true, 0, {}, enter, true},
        {"tick inside, top-left corner", false, 5, {100, 200}, none, true},
        {"tick inside, last pixel", false, 5, {149, 215}, none, true},
        {"other timer outside", false, 7, {0, 0}, none, true},
        {"moves again restart the timer", true, 0, {}, enter, true},
        {"tick on the right edge", false, 5, {150, 210}, leave, false},
        {"back in", true, 0, {}, enter, true},
        {"tick on the bottom edge", false, 5, {120, 216}, leave, false},
        {"back in", true, 0, {}, enter, true},
        {"tick far away, negative", false, 5, {-300, -300}, leave, false},
    };
    LinkHoverState state;
    EXPECT_FALSE(state.IsHovered());
    for (const Step& s : steps) {
        const LinkEffects effects = s.move ? state.OnMouseMove() : state.OnTimer(s.timer, window, s.cursor);
        EXPECT_EQ(effects, s.effects) << s.what;
        EXPECT_EQ(state.IsHovered(), s.hoveredAfter) << s.what;
    }
}
