// The context menu table: exact GBK texts, ids, order, radio ranges, and command classification.
#include <gtest/gtest.h>

#include "interaction/menu_table.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <vector>

using namespace quill;

namespace {

struct Row {
    MenuEntryKind kind;
    int id;
    std::string_view text;
};

void ExpectEntries(std::span<const MenuEntry> actual, const std::vector<Row>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].kind, expected[i].kind) << "row " << i;
        EXPECT_EQ(actual[i].id, expected[i].id) << "row " << i;
        EXPECT_EQ(actual[i].text, expected[i].text) << "row " << i;
    }
}

constexpr auto C = MenuEntryKind::Command;
constexpr auto S = MenuEntryKind::Separator;
constexpr auto M = MenuEntryKind::Submenu;

} // namespace

TEST(MenuTable, ContextMenuTopToBottom) {
    ExpectEntries(ContextMenuEntries(), {
                                            {M, 0, "\xD1\xD5\xC9\xAB"}, // colour
                                            {M, 0, "\xD1\xF9\xCA\xBD"}, // style
                                            {M, 0, "\xB1\xEA\xCC\xE2"}, // title
                                            {M, 0, "\xCA\xB1\xBC\xE4"}, // time
                                            {C, 50, "\xD7\xD6\xCC\xE5..."},
                                            {C, 51, "\xC5\xA9\xC0\xFA"}, // lunar view
                                            {S, 0, ""},
                                            {C, 52, "\xCD\xAC\xB2\xBD..."}, // sync
                                            {C, 54, "\xB0\xEF\xD6\xFA"},
                                            {C, 55, "\xB9\xD8\xD3\xDA"},
                                            {S, 0, ""},
                                            {C, 56, "\xB9\xD8\xB1\xD5"},
                                        });
    const auto entries = ContextMenuEntries();
    const MenuGroup groups[] = {MenuGroup::Color, MenuGroup::Style, MenuGroup::Title, MenuGroup::TimeFormat};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].group, groups[i]);
        EXPECT_EQ(SubmenuOf(groups[i]).title, entries[i].text);
    }
}

TEST(MenuTable, Submenus) {
    ExpectEntries(SubmenuOf(MenuGroup::Color).items, {
                                                         {C, 20, "\xC0\xB6\xC9\xAB"},
                                                         {C, 21, "\xC2\xCC\xC9\xAB"},
                                                         {C, 22, "\xBA\xEC\xC9\xAB"},
                                                         {C, 23, "\xBB\xC6\xC9\xAB"},
                                                         {C, 24, "\xBB\xD2\xC9\xAB"},
                                                     });
    ExpectEntries(SubmenuOf(MenuGroup::Style).items, {
                                                         {C, 30, "\xBE\xD8\xD0\xCE\xBD\xC7"},
                                                         {C, 31, "\xC9\xCF\xD4\xB2\xBD\xC7"},
                                                         {C, 32, "\xC8\xAB\xD4\xB2\xBD\xC7"},
                                                     });
    ExpectEntries(SubmenuOf(MenuGroup::Title).items, {
                                                         {C, 60, "\xBD\xA5\xB1\xE4 1"},
                                                         {C, 61, "\xBD\xA5\xB1\xE4 2"},
                                                     });
    ExpectEntries(SubmenuOf(MenuGroup::TimeFormat).items, {
                                                              {C, 40, "%H:%M:%S"},
                                                              {C, 41, "%I:%M:%S %p"},
                                                              {C, 42, "%a %H:%M:%S"},
                                                              {C, 43, "%a %I:%M:%S %p"},
                                                              {C, 44, "%A %H:%M"},
                                                              {C, 45, "%A %I:%M %p"},
                                                              {S, 0, ""},
                                                              {C, 46, "\xD7\xD4\xB6\xA8\xD2\xE5..."},
                                                          });
    EXPECT_EQ(SubmenuOf(MenuGroup::Color).radio, (RadioRange{20, 25}));
    EXPECT_EQ(SubmenuOf(MenuGroup::Style).radio, (RadioRange{30, 35}));
    EXPECT_EQ(SubmenuOf(MenuGroup::Title).radio, (RadioRange{60, 65}));
    EXPECT_EQ(SubmenuOf(MenuGroup::TimeFormat).radio, (RadioRange{40, 46}));

    const auto order = SubmenuBuildOrder();
    const std::vector<MenuGroup> expectedOrder{MenuGroup::Color, MenuGroup::Style, MenuGroup::TimeFormat,
                                               MenuGroup::Title};
    EXPECT_EQ(std::vector<MenuGroup>(order.begin(), order.end()), expectedOrder);
}

TEST(MenuTable, CheckTargetWhenBuilt) {
    struct Case {
        MenuGroup group;
        int value;
        int target;
        bool hasItem;
    } cases[] = {
        {MenuGroup::Color, 0, 20, true},
        {MenuGroup::Color, 4, 24, true},
        {MenuGroup::Color, 7, 27, false},
        {MenuGroup::Color, -1, 19, false},
        {MenuGroup::Style, 2, 32, true},
        {MenuGroup::Style, 3, 33, false},
        {MenuGroup::Title, 1, 61, true},
        {MenuGroup::Title, 2, 62, false},
        {MenuGroup::TimeFormat, 43, 43, true},
        {MenuGroup::TimeFormat, 46, 46, true},
        {MenuGroup::TimeFormat, 3, 3, false},
        {MenuGroup::Color, INT_MAX, INT_MAX, false},
        {MenuGroup::Color, INT_MIN, INT_MIN + 20, false},
    };
    for (const Case& c : cases) {
        const int target = BuildCheckTarget(c.group, c.value);
        EXPECT_EQ(target, c.target) << c.value;
        const auto items = SubmenuOf(c.group).items;
        const bool found = std::any_of(items.begin(), items.end(), [&](const MenuEntry& e) {
            return e.kind == MenuEntryKind::Command && e.id == target;
        });
        EXPECT_EQ(found, c.hasItem) << c.value;
    }
}

TEST(MenuTable, ClassifyCommand) {
    using A = CommandAction;
    struct Case {
        std::uint64_t wParam;
        A action;
        int value;
    } cases[] = {
        {19, A::Other, 0},
        {20, A::ColorScheme, 0},
        {24, A::ColorScheme, 4},
        {29, A::ColorScheme, 9},
        {30, A::CornerStyle, 0},
        {34, A::CornerStyle, 4},
        {35, A::Other, 0},
        {39, A::Other, 0},
        {40, A::TimeFormat, 40},
        {46, A::TimeFormat, 46},
        {48, A::TimeFormat, 48},
        {49, A::Other, 0},
        {50, A::Font, 0},
        {51, A::LunarView, 0},
        {52, A::Sync, 0},
        {53, A::Other, 0},
        {54, A::Help, 0},
        {55, A::About, 0},
        {56, A::Close, 0},
        {57, A::Other, 0},
        {59, A::Other, 0},
        {60, A::Gradient, 0},
        {61, A::Gradient, 1},
        {68, A::Gradient, 8},
        {69, A::Other, 0},
        {0, A::Other, 0},
        {(1u << 16) | 20, A::Other, 0},
        {0x100000038ull, A::Other, 0},
    };
    for (const Case& c : cases) {
        const MenuCommand command = ClassifyCommand(c.wParam);
        EXPECT_EQ(command.action, c.action) << c.wParam;
        EXPECT_EQ(command.value, c.value) << c.wParam;
    }
    struct Group {
        std::uint64_t id;
        MenuGroup group;
        RadioRange check;
    } groups[] = {
        {22, MenuGroup::Color, {20, 25}},
        {31, MenuGroup::Style, {30, 35}},
        {47, MenuGroup::TimeFormat, {40, 46}},
        {65, MenuGroup::Title, {60, 69}},
    };
    for (const Group& g : groups) {
        EXPECT_EQ(ClassifyCommand(g.id).group, g.group) << g.id;
        EXPECT_EQ(ClassifyCommand(g.id).check, g.check) << g.id;
    }
}

// Every item of a submenu, when chosen, must move the radio mark of that same submenu.
TEST(MenuTable, EveryItemDispatchesToItsOwnGroup) {
    for (MenuGroup group : SubmenuBuildOrder()) {
        for (const MenuEntry& item : SubmenuOf(group).items) {
            if (item.kind != MenuEntryKind::Command) {
                continue;
            }
            const MenuCommand command = ClassifyCommand(static_cast<std::uint64_t>(item.id));
            EXPECT_NE(command.action, CommandAction::Other) << item.id;
            EXPECT_EQ(command.group, group) << item.id;
            EXPECT_GE(item.id, command.check.first);
            EXPECT_LE(item.id, command.check.last);
        }
    }
}
