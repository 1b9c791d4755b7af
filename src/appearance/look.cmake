# Appearance core: clock text, colour schemes and paint geometry.
list(APPEND QUILL_CORE_SOURCES
  src/appearance/clock_format.cpp
  src/appearance/color_scheme.cpp
  src/appearance/paint_geometry.cpp)
