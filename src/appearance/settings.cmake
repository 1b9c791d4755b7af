# The settings record, the settings file and what of it the window can draw.
list(APPEND QUILL_CORE_SOURCES src/appearance/calendar_settings.cpp src/appearance/settings_file.cpp
     src/appearance/settings_limits.cpp)
