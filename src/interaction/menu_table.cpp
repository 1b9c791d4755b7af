// The context menu as data: command ids, exact item texts, order, radio groups and what a command does.
#include "interaction/menu_table.h"

#include "appearance/clock_format.h"

#include <algorithm>
#include <array>
#include <limits>

namespace quill {
namespace {

constexpr MenuEntry Command(int id, std::string_view text) {
    return {MenuEntryKind::Command, id, text, MenuGroup::Color};
}
constexpr MenuEntry Separator() {
    return {MenuEntryKind::Separator, 0, {}, MenuGroup::Color};
}
constexpr MenuEntry Submenu(MenuGroup group, std::string_view text) {
    return {MenuEntryKind::Submenu, 0, text, group};
}

constexpr std::array kColorItems{
    Command(kCmdColorBlue, "蓝色"),   Command(kCmdColorGreen, "绿色"), Command(kCmdColorRed, "红色"),
    Command(kCmdColorYellow, "黄色"), Command(kCmdColorGray, "灰色"),
};

constexpr std::array kStyleItems{
    Command(kCmdCornerRect, "矩形角"),
    Command(kCmdCornerTop, "上圆角"),
    Command(kCmdCornerAll, "全圆角"),
};

constexpr std::array kTitleItems{
    Command(kCmdGradient1, "渐变 1"),
    Command(kCmdGradient2, "渐变 2"),
};

// The clock reads its pattern back from these items, so their texts are the patterns themselves.
constexpr std::array kTimeItems{
    Command(kFixedClockFormats[0].id, kFixedClockFormats[0].pattern),
    Command(kFixedClockFormats[1].id, kFixedClockFormats[1].pattern),
    Command(kFixedClockFormats[2].id, kFixedClockFormats[2].pattern),
    Command(kFixedClockFormats[3].id, kFixedClockFormats[3].pattern),
    Command(kFixedClockFormats[4].id, kFixedClockFormats[4].pattern),
    Command(kFixedClockFormats[5].id, kFixedClockFormats[5].pattern),
    Separator(),
    Command(kCmdTimeCustom, "自定义..."),
};

constexpr std::array kContextMenu{
    Submenu(MenuGroup::Color, "颜色"),
    Submenu(MenuGroup::Style, "样式"),
    Submenu(MenuGroup::Title, "标题"),
    Submenu(MenuGroup::TimeFormat, "时间"),
    Command(kCmdFont, "字体..."),
    Separator(),
    Command(kCmdHelp, "帮助"),
    Command(kCmdAbout, "关于"),
    Separator(),
    Command(kCmdClose, "关闭"),
};

const std::array<SubmenuLayout, 4> kSubmenus{{
    {MenuGroup::Color, "颜色", kColorItems, {20, 25}},
    {MenuGroup::Style, "样式", kStyleItems, {30, 35}},
    {MenuGroup::Title, "标题", kTitleItems, {60, 65}},
    {MenuGroup::TimeFormat, "时间", kTimeItems, {40, 46}},
}};

constexpr std::array kBuildOrder{MenuGroup::Color, MenuGroup::Style, MenuGroup::TimeFormat, MenuGroup::Title};

// Ids a command accepts per group, and the wider ranges its radio mark is moved over. The command
// ranges run past the items because any WM_COMMAND may arrive, not only the menu's own.
struct GroupDispatch {
    CommandAction action;
    MenuGroup group;
    int base; // subtracted from the id to get the value; 0 keeps the id
    int firstId;
    int lastId;
    RadioRange check;
};

constexpr std::array<GroupDispatch, 4> kGroupDispatch{{
    {CommandAction::ColorScheme, MenuGroup::Color, 20, 20, 29, {20, 25}},
    {CommandAction::CornerStyle, MenuGroup::Style, 30, 30, 34, {30, 35}},
    {CommandAction::TimeFormat, MenuGroup::TimeFormat, 0, 40, 48, {40, 46}},
    {CommandAction::Gradient, MenuGroup::Title, 60, 60, 68, {60, 69}},
}};

const GroupDispatch& DispatchOf(MenuGroup group) {
    return *std::find_if(kGroupDispatch.begin(), kGroupDispatch.end(),
                         [group](const GroupDispatch& dispatch) { return dispatch.group == group; });
}

} // namespace

std::span<const MenuEntry> ContextMenuEntries() {
    return kContextMenu;
}

const SubmenuLayout& SubmenuOf(MenuGroup group) {
    return *std::find_if(kSubmenus.begin(), kSubmenus.end(),
                         [group](const SubmenuLayout& layout) { return layout.group == group; });
}

std::span<const MenuGroup> SubmenuBuildOrder() {
    return kBuildOrder;
}

int BuildCheckTarget(MenuGroup group, int settingValue) {
    const std::int64_t target = std::int64_t{settingValue} + DispatchOf(group).base;
    return static_cast<int>(std::min<std::int64_t>(target, std::numeric_limits<int>::max()));
}

MenuCommand ClassifyCommand(std::uint64_t wParam) {
    if (wParam > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int id = static_cast<int>(wParam);
    for (const GroupDispatch& dispatch : kGroupDispatch) {
        if (id >= dispatch.firstId && id <= dispatch.lastId) {
            return {dispatch.action, id - dispatch.base, dispatch.group, dispatch.check};
        }
    }
    MenuCommand command;
    switch (id) {
    case kCmdFont:
        command.action = CommandAction::Font;
        break;
    case kCmdHelp:
        command.action = CommandAction::Help;
        break;
    case kCmdAbout:
        command.action = CommandAction::About;
        break;
    case kCmdClose:
        command.action = CommandAction::Close;
        break;
    default:
        break;
    }
    return command;
}

} // namespace quill
