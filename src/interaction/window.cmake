# Interaction glue: context menu and commands, dragging, tray icon, About box and its links.
list(APPEND QUILL_WIN_SOURCES
  src/interaction/placement_glue.cpp
  src/interaction/context_menu.cpp
  src/interaction/dragging.cpp
  src/interaction/tray_icon.cpp
  src/interaction/link_static.cpp
  src/interaction/about_dlg.cpp)
