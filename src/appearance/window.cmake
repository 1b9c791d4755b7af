# Appearance glue: painting, colours, outline, the clock and its pattern dialog, the title font.
list(APPEND QUILL_WIN_SOURCES
  src/appearance/window_look.cpp
  src/appearance/clock.cpp
  src/appearance/time_dlg.cpp
  src/appearance/font_glue.cpp
  src/appearance/settings_io.cpp)
