# quillidar-notes, the diary's command-line tool: the portable part (shared by both builds and the
# unit tests), the file layer and main of each platform. cmake/notes_tool.cmake makes the targets.
set(QUILL_NOTES_TOOL_SOURCES
    src/notes_tool/diary_dates.cpp
    src/notes_tool/export_formats.cpp
    src/notes_tool/filing.cpp
    src/notes_tool/import_formats.cpp
    src/notes_tool/notes_scan.cpp
    src/notes_tool/text_codec.cpp
    src/notes_tool/tool_commands.cpp)
set(QUILL_NOTES_TOOL_POSIX_SOURCES src/notes_tool/posix_file_system.cpp)
set(QUILL_NOTES_TOOL_POSIX_MAIN src/notes_tool/main_posix.cpp)
set(QUILL_NOTES_TOOL_WIN_MAIN src/notes_tool/main_win.cpp src/diary/win_file_system.cpp)
