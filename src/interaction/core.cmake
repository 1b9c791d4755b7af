# Interaction core: menu table, placement, tray record and the link control's states.
list(APPEND QUILL_CORE_SOURCES
  src/interaction/menu_table.cpp
  src/interaction/placement.cpp
  src/interaction/tray_record.cpp
  src/interaction/link_state.cpp)
