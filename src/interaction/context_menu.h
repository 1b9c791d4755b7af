// The context menu: built once from the menu table, with a radio group per submenu, opened at a
// screen point for the window that handles its commands.
#pragma once
#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

#include "appearance/calendar_settings.h"
#include "interaction/menu_table.h"
#include "ui/handle.h"

class ContextMenu {
  public:
    // The menu with each group's mark on the settings' value.
    void Build(const CalendarSettings& settings);
    void Show(HWND owner, POINT screen) const;
    // Moves the group's radio mark over `range` to the item `id`.
    void Check(quill::MenuGroup group, quill::RadioRange range, UINT id) const;
    // The text of a clock format's item, which is its pattern; empty when the menu has none.
    std::string ItemText(int id) const;
    // A check item of the menu itself, such as the lunar view's.
    void CheckItem(int id, bool on) const;
    bool Built() const { return m_menu.get() != nullptr; }

  private:
    HMENU Submenu(quill::MenuGroup group) const { return m_submenus[static_cast<std::size_t>(group)]; }

    // The menu owns its four submenus once they are appended to it.
    ui::Menu m_menu;
    // Colour, style, title and time, in the order of quill::MenuGroup.
    std::array<HMENU, 4> m_submenus{};
};
