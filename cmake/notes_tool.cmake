# quillidar-notes: the diary's command-line tool in both trees, and the tests that run the program.
# CLI11 and nlohmann/json are header-only Debian packages under /usr/include. The MinGW tree must
# not search /usr/include as a whole (glibc's headers are there), so both trees see them through a
# folder of links to just these two.
find_path(QUILL_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(QUILL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUILL_CLI11_INCLUDE OR NOT QUILL_JSON_INCLUDE)
  message(FATAL_ERROR "quillidar-notes needs libcli11-dev and nlohmann-json3-dev (scripts/setup installs them)")
endif()
set(quill_tool_headers ${CMAKE_BINARY_DIR}/notes_tool_headers)
file(MAKE_DIRECTORY ${quill_tool_headers})
file(CREATE_LINK ${QUILL_CLI11_INCLUDE}/CLI ${quill_tool_headers}/CLI SYMBOLIC)
file(CREATE_LINK ${QUILL_JSON_INCLUDE}/nlohmann ${quill_tool_headers}/nlohmann SYMBOLIC)

# The portable part, shared by both programs and the unit tests; each platform adds its file layer
# and main.
add_library(quill_notes_tool STATIC
  src/notes_tool/calendar_commands.cpp
  src/notes_tool/command_table.cpp
  src/notes_tool/diary_dates.cpp
  src/notes_tool/editing_commands.cpp
  src/notes_tool/export_formats.cpp
  src/notes_tool/filing.cpp
  src/notes_tool/import_formats.cpp
  src/notes_tool/lunar_days.cpp
  src/notes_tool/notes_scan.cpp
  src/notes_tool/reading_commands.cpp
  src/notes_tool/repair_commands.cpp
  src/notes_tool/sync_commands.cpp
  src/notes_tool/tool_commands.cpp
  src/notes_tool/tool_context.cpp
  src/notes_tool/transfer_commands.cpp)
if(NOT WIN32)
  target_sources(quill_notes_tool PRIVATE src/files/posix_file_system.cpp)
endif()
target_include_directories(quill_notes_tool SYSTEM PUBLIC ${quill_tool_headers})
target_link_libraries(quill_notes_tool PUBLIC quill_core quill_sync)
quill_warnings(quill_notes_tool)
target_link_libraries(quill_unit_tests PRIVATE quill_notes_tool)
# The usage and refusals byte for byte, against the saved text of each (tests/data/tool/usage.txt).
target_sources(quill_unit_tests PRIVATE tests/unit/notes_tool_usage_test.cpp)

if(WIN32)
  add_executable(quillidar-notes src/notes_tool/main_win.cpp src/files/win_file_system.cpp)
else()
  add_executable(quillidar-notes src/notes_tool/main_posix.cpp)
endif()
target_link_libraries(quillidar-notes PRIVATE quill_notes_tool)
quill_warnings(quillidar-notes)

# One case end to end through the real program: a diary exported to json and imported back into a
# new file, byte for byte; under Wine for the Windows program.
# Each entry works in a folder of its own, so the entries can run at once.
set(quill_tool_case -DDATA=${CMAKE_SOURCE_DIR}/tests/data/tool -P ${CMAKE_SOURCE_DIR}/tests/tool/export_import_case.cmake)
if(WIN32)
  target_compile_definitions(quillidar-notes PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                     _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_link_options(quillidar-notes PRIVATE -municode)
  target_link_libraries(quillidar-notes PRIVATE advapi32 kernel32)
  add_test(NAME tool.wine COMMAND ${CMAKE_COMMAND} -DRUN=${WINE64} -DTOOL=Z:$<TARGET_FILE:quillidar-notes>
                                  -DPATH_PREFIX=Z: -DWORK=${CMAKE_BINARY_DIR}/tool_case/wine ${quill_tool_case})
  set_tests_properties(tool.wine PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 120)
  # The same on a Chinese system (code page 936): the bytes must not depend on the display language.
  add_test(NAME tool.wine.cp936 COMMAND ${CMAKE_COMMAND} -DRUN=${CMAKE_SOURCE_DIR}/scripts/lib/in-wine-cp936
                                        -DTOOL=Z:$<TARGET_FILE:quillidar-notes> -DPATH_PREFIX=Z:
                                        -DWORK=${CMAKE_BINARY_DIR}/tool_case/wine-cp936 ${quill_tool_case})
  set_tests_properties(tool.wine.cp936 PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300
                                                   RESOURCE_LOCK quill_prefix_zh_CN)
else()
  add_test(NAME tool.native COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:quillidar-notes> -DWORK=${CMAKE_BINARY_DIR}/tool_case/native
                                   ${quill_tool_case})
endif()
if(NOT WIN32)
  # Python's icalendar and csv and jq, from Debian (scripts/setup), read the exports.
  add_test(NAME tool.clients COMMAND ${CMAKE_SOURCE_DIR}/tests/tool/clients_case.sh $<TARGET_FILE:quillidar-notes>
                                     ${CMAKE_SOURCE_DIR}/tests/data/tool ${CMAKE_BINARY_DIR}/tool_clients)
endif()
