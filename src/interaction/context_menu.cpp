// The context menu: built once from the menu table, opened from the menu box or the tray icon, its
// radio marks moved as a pick is made.
#include <windows.h>

#include <string>

#include "interaction/context_menu.h"

#include "interaction/menu_table.h"
#include "ui/text.h"

namespace {

HMENU BuildSubmenu(const quill::SubmenuLayout& layout, int checkTarget) {
    HMENU menu = ::CreatePopupMenu();
    for (const quill::MenuEntry& item : layout.items) {
        if (item.kind == quill::MenuEntryKind::Separator)
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), ui::Wide(item.text).c_str());
    }
    ::CheckMenuRadioItem(menu, static_cast<UINT>(layout.radio.first), static_cast<UINT>(layout.radio.last),
                         static_cast<UINT>(checkTarget), MF_BYCOMMAND);
    return menu;
}

} // namespace

namespace {

// The settings value a group's radio mark stands on.
int ValueOf(const CalendarSettings& settings, quill::MenuGroup group) {
    switch (group) {
    case quill::MenuGroup::Color:
        return settings.m_nColorScheme;
    case quill::MenuGroup::Style:
        return settings.m_nCornerStyle;
    case quill::MenuGroup::Title:
        return settings.m_nGradient;
    case quill::MenuGroup::TimeFormat:
        return settings.m_nTimeFormat;
    }
    return 0;
}

} // namespace

void ContextMenu::Build(const CalendarSettings& settings) {
    for (quill::MenuGroup group : quill::SubmenuBuildOrder()) {
        m_submenus[static_cast<std::size_t>(group)] =
            BuildSubmenu(quill::SubmenuOf(group), quill::BuildCheckTarget(group, ValueOf(settings, group)));
    }

    m_menu.reset(::CreatePopupMenu());
    for (const quill::MenuEntry& entry : quill::ContextMenuEntries()) {
        switch (entry.kind) {
        case quill::MenuEntryKind::Separator:
            ::AppendMenuW(m_menu.get(), MF_SEPARATOR, 0, nullptr);
            break;
        case quill::MenuEntryKind::Command:
            ::AppendMenuW(m_menu.get(), MF_STRING, static_cast<UINT_PTR>(entry.id),
                          ui::Wide(entry.text).c_str());
            break;
        case quill::MenuEntryKind::Submenu:
            ::AppendMenuW(m_menu.get(), MF_POPUP | MF_STRING,
                          reinterpret_cast<UINT_PTR>(Submenu(entry.group)), ui::Wide(entry.text).c_str());
            break;
        }
    }
}

void ContextMenu::Show(HWND owner, POINT screen) const {
    ::TrackPopupMenu(m_menu.get(), 0, screen.x, screen.y, 0, owner, nullptr);
}

void ContextMenu::Check(quill::MenuGroup group, quill::RadioRange range, UINT id) const {
    ::CheckMenuRadioItem(Submenu(group), static_cast<UINT>(range.first), static_cast<UINT>(range.last), id,
                         MF_BYCOMMAND);
}

std::string ContextMenu::ItemText(int id) const {
    wchar_t text[256] = {};
    const HMENU times = Submenu(quill::MenuGroup::TimeFormat);
    if (!times || ::GetMenuStringW(times, static_cast<UINT>(id), text, 256, MF_BYCOMMAND) <= 0)
        return {};
    return ui::Narrow(text);
}

void ContextMenu::CheckItem(int id, bool on) const {
    ::CheckMenuItem(m_menu.get(), static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}
