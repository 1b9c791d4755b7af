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

// One item a line: the order is what people find their commands by, and a change to it should show.
// clang-format off
constexpr std::array kContextMenu{
    Submenu(MenuGroup::Color, "颜色"),
    Submenu(MenuGroup::Style, "样式"),
    Submenu(MenuGroup::Title, "标题"),
    Submenu(MenuGroup::TimeFormat, "时间"),
    Command(kCmdFont, "字体..."),
    Command(kCmdLunarView, "农历"),
    Separator(),
    Command(kCmdSync, "同步..."),
    Command(kCmdHelp, "帮助"),
    Command(kCmdAbout, "关于"),
    Separator(),
    Command(kCmdClose, "关闭"),
};
// clang-format on

// Everything about one radio group, in one row: its submenu, the ids a command of it accepts and the
// ranges its radio mark is set over when the menu is built and when a command moves it. The
// accepted ids run past the items because any WM_COMMAND may arrive, not only the menu's own.
struct GroupDispatch {
    SubmenuLayout layout; // its radio is the range checked when the menu is built
    CommandAction action;
    int base; // subtracted from the id to get the value; 0 keeps the id
    int firstId;
    int lastId;
    RadioRange check; // the range a command's mark moves over
};

const std::array<GroupDispatch, 4> kGroupDispatch{{
    {{MenuGroup::Color, "颜色", kColorItems, {kCmdColorBlue, kCmdColorBlue + 5}},
     CommandAction::ColorScheme,
     kCmdColorBlue,
     kCmdColorBlue,
     kCmdColorBlue + 9,
     {kCmdColorBlue, kCmdColorBlue + 5}},
    {{MenuGroup::Style, "样式", kStyleItems, {kCmdCornerRect, kCmdCornerRect + 5}},
     CommandAction::CornerStyle,
     kCmdCornerRect,
     kCmdCornerRect,
     kCmdCornerRect + 4,
     {kCmdCornerRect, kCmdCornerRect + 5}},
    {{MenuGroup::Title, "标题", kTitleItems, {kCmdGradient1, kCmdGradient1 + 5}},
     CommandAction::Gradient,
     kCmdGradient1,
     kCmdGradient1,
     kCmdGradient1 + 8,
     {kCmdGradient1, kCmdGradient1 + 9}},
    {{MenuGroup::TimeFormat, "时间", kTimeItems, {kTimeFormatFirst, kTimeFormatCustom}},
     CommandAction::TimeFormat,
     0,
     kTimeFormatFirst,
     kTimeFormatCustom + 2,
     {kTimeFormatFirst, kTimeFormatCustom}},
}};

constexpr std::array kBuildOrder{MenuGroup::Color, MenuGroup::Style, MenuGroup::TimeFormat, MenuGroup::Title};

const GroupDispatch& DispatchOf(MenuGroup group) {
    return *std::find_if(kGroupDispatch.begin(), kGroupDispatch.end(),
                         [group](const GroupDispatch& dispatch) { return dispatch.layout.group == group; });
}

} // namespace

std::span<const MenuEntry> ContextMenuEntries() {
    return kContextMenu;
}

const SubmenuLayout& SubmenuOf(MenuGroup group) {
    return DispatchOf(group).layout;
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
            return {dispatch.action, id - dispatch.base, dispatch.layout.group, dispatch.check};
        }
    }
    MenuCommand command;
    switch (id) {
    case kCmdFont:
        command.action = CommandAction::Font;
        break;
    case kCmdLunarView:
        command.action = CommandAction::LunarView;
        break;
    case kCmdSync:
        command.action = CommandAction::Sync;
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
