# The settings record and the settings file.
list(APPEND QUILL_CORE_SOURCES src/appearance/calendar_settings.cpp src/appearance/settings_file.cpp)
