// The context menu: built once from the menu table, with a radio group per submenu, opened at a
// screen point for the window that handles its commands.
#pragma once
#include <windows.h>

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
    bool Built() const { return m_menuTimeFormat != nullptr; }

  private:
    HMENU Submenu(quill::MenuGroup group) const;

    // The menu owns its four submenus once they are appended to it.
    ui::Menu m_menu;
    HMENU m_menuTimeFormat = nullptr;
    HMENU m_menuColor = nullptr;
    HMENU m_menuStyle = nullptr;
    HMENU m_menuTitle = nullptr;
};
