// The context menu as data: command ids, exact item texts, order, radio groups and what a command does.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "appearance/clock_format.h"

namespace quill {

// Named apart from the resource header's IDM_ macros so that both can be included together.
inline constexpr int kCmdColorBlue = 20;
inline constexpr int kCmdColorGreen = 21;
inline constexpr int kCmdColorRed = 22;
inline constexpr int kCmdColorYellow = 23;
inline constexpr int kCmdColorGray = 24;
inline constexpr int kCmdCornerRect = 30;
inline constexpr int kCmdCornerTop = 31;
inline constexpr int kCmdCornerAll = 32;
// The clock formats' ids are clock_format.h's kTimeFormatFirst to kTimeFormatCustom.
inline constexpr int kCmdTimeCustom = kTimeFormatCustom;
inline constexpr int kCmdFont = 50;
// A check item: the lunar view in place of the month calendar.
inline constexpr int kCmdLunarView = 51;
inline constexpr int kCmdSync = 52;
inline constexpr int kCmdHelp = 54;
inline constexpr int kCmdAbout = 55;
inline constexpr int kCmdClose = 56;
inline constexpr int kCmdGradient1 = 60;
inline constexpr int kCmdGradient2 = 61;

// The four submenus, each one radio group.
enum class MenuGroup { Color, Style, Title, TimeFormat };

enum class MenuEntryKind { Command, Separator, Submenu };

struct MenuEntry {
    MenuEntryKind kind = MenuEntryKind::Separator;
    int id = 0;                         // command id; 0 for separators and submenus
    std::string_view text;              // GBK; empty for separators
    MenuGroup group = MenuGroup::Color; // which submenu, for Submenu entries
};

// Inclusive id range handed to CheckMenuRadioItem. It may reach past the last item: ids in the range
// without an item are simply absent, and a target without an item leaves the group unchecked.
struct RadioRange {
    int first = 0;
    int last = 0;
    friend bool operator==(const RadioRange&, const RadioRange&) = default;
};

struct SubmenuLayout {
    MenuGroup group;
    std::string_view title;
    std::span<const MenuEntry> items;
    RadioRange radio; // range checked when the menu is built
};

// The context menu m_menu from top to bottom.
std::span<const MenuEntry> ContextMenuEntries();

const SubmenuLayout& SubmenuOf(MenuGroup group);

// Order in which the submenus are created: colour, style, time, title.
std::span<const MenuGroup> SubmenuBuildOrder();

// Item to check when the menu is built, from the settings value of the group (m_nColorScheme,
// m_nCornerStyle, m_nGradient, or m_nTimeFormat, which is already a command id). Values loaded from
// the settings file are unchecked; one too large for an id gives a target that matches no item.
int BuildCheckTarget(MenuGroup group, int settingValue);

enum class CommandAction {
    ColorScheme,
    CornerStyle,
    TimeFormat,
    Gradient,
    Font,
    LunarView,
    Sync,
    Help,
    About,
    Close,
    Other
};

struct MenuCommand {
    CommandAction action = CommandAction::Other;
    // Scheme, corner style or gradient number (id minus the group's base); for TimeFormat the id
    // itself. Zero for the other actions.
    int value = 0;
    MenuGroup group = MenuGroup::Color; // submenu whose radio mark moves; groups only
    RadioRange check;                   // range of that radio mark; groups only
    friend bool operator==(const MenuCommand&, const MenuCommand&) = default;
};

// What a WM_COMMAND does. The whole WPARAM is compared, so a notification code in the high word makes
// any id an unknown command.
MenuCommand ClassifyCommand(std::uint64_t wParam);

} // namespace quill
