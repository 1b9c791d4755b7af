# The Windows half of the build: the program, its resources, and the tests that run under Wine.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/wine64 NO_DEFAULT_PATH)
if(NOT WINE64)
  find_program(WINE64 NAMES wine64 wine)
endif()

# KnownDLLs only: comctl32 and oleacc are loaded from the system folder at run time, and the gradient
# is gdi32's.
set(QUILL_WIN_LIBS gdi32 shell32 ole32 oleaut32 user32 advapi32 kernel32)

# The window glue, one room per folder: the calendar window itself in app/, the parts it holds in
# the folders below it.
add_library(quill_win STATIC
  src/app/calendar_app.cpp
  src/app/calendar_clock.cpp
  src/app/calendar_days.cpp
  src/app/calendar_dlg.cpp
  src/app/calendar_drag.cpp
  src/app/calendar_look.cpp
  src/app/calendar_menu.cpp
  src/app/calendar_notes.cpp
  src/app/calendar_session.cpp
  src/app/calendar_settings_io.cpp
  src/app/calendar_sync.cpp
  src/app/calendar_tray.cpp
  src/app/single_instance.cpp
  src/app/sync_check.cpp
  src/app/sync_dlg.cpp
  src/app/sync_worker.cpp
  src/app/window_icons.cpp
  src/appearance/clock.cpp
  src/appearance/font_glue.cpp
  src/appearance/time_dlg.cpp
  src/appearance/title_strip.cpp
  src/diary/day_keys.cpp
  src/diary/note_box.cpp
  src/files/win_file_system.cpp
  src/interaction/about_dlg.cpp
  src/interaction/context_menu.cpp
  src/interaction/day_tip.cpp
  src/interaction/link_static.cpp
  src/interaction/lunar_grid_accessible.cpp
  src/interaction/lunar_view.cpp
  src/interaction/placement_glue.cpp
  src/interaction/tray_icon.cpp
  src/safety/safety_win.cpp
  src/ui/common_controls.cpp
  src/ui/dialog.cpp
  src/ui/dpi.cpp
  src/ui/text.cpp)
target_include_directories(quill_win PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(quill_win PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
target_link_libraries(quill_win PUBLIC quill_core quill_session quill_sync quill_system_dll ${QUILL_WIN_LIBS})
quill_warnings(quill_win)

add_executable(Quillidar WIN32 src/app/main.cpp src/res/quillidar.rc)
target_include_directories(Quillidar PRIVATE ${QUILL_GENERATED})
target_link_libraries(Quillidar PRIVATE quill_win)
if(NOT MSVC)
  # windres reads the UTF-8 script and stores every dialog and string text as UTF-16 (rc.exe takes
  # the script's #pragma code_page); MinGW's entry point for wWinMain.
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
  target_link_options(Quillidar PRIVATE -municode)
endif()
quill_warnings(Quillidar)

# Tests that drive windows hold the desktop lock and run one at a time: input, focus and the screen's
# pixels belong to whoever is on the desktop, and their bounded waits were sized for a program alone
# there. The Wine tests that show no window run beside them (ctest -j2). A test in a session of its
# own (another DPI or locale, a fresh prefix) holds the lock too, for the same waits' sake; tests of
# one prefix other than the shared one also hold that prefix's lock, as two sessions cannot share it.
# The desktop's tests also come first (a high COST, until ctest has times of its own), so the
# desktop is never idle while the other tests fill the second place.
set(QUILL_DESKTOP quill_desktop)
set(QUILL_ON_DESKTOP RESOURCE_LOCK ${QUILL_DESKTOP} COST 1000)

function(quill_wine_test name)
  add_test(NAME ${name} COMMAND ${WINE64} ${ARGN})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEDEBUG=-all")
endfunction()

# The lunar grid's accessible object, called in the test's own process.
target_sources(quill_unit_tests PRIVATE tests/unit/lunar_grid_accessible_test.cpp)
target_link_libraries(quill_unit_tests PRIVATE quill_win)
quill_wine_test(unit.wine $<TARGET_FILE:quill_unit_tests> --gtest_brief=1)

# The Windows process driver, shared by the end-to-end tests and the benchmarks: start a program with
# its own TMP and TEMP, wait for its window, give it input, read it back. It knows no test framework.
add_library(quill_driver STATIC
  tests/driver/dialog_units.cpp tests/driver/files.cpp tests/driver/input.cpp tests/driver/process.cpp
  tests/driver/read_back.cpp tests/driver/remote.cpp tests/driver/report.cpp tests/driver/text.cpp
  tests/driver/wait.cpp)
target_include_directories(quill_driver PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(quill_driver PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(quill_driver PUBLIC user32 gdi32 shell32 ole32 uuid)
quill_warnings(quill_driver)

set(QUILL_E2E_SOURCES
  tests/e2e/close_bound_test.cpp
  tests/e2e/diary_file_test.cpp
  tests/e2e/diary_test.cpp
  tests/e2e/dpi_test.cpp
  tests/e2e/harness.cpp
  tests/e2e/look_test.cpp
  tests/e2e/lunar_test.cpp
  tests/e2e/menu_test.cpp
  tests/e2e/placement_test.cpp
  tests/e2e/platform_test.cpp
  tests/e2e/safety_folder_guard.cpp
  tests/e2e/safety_files_test.cpp
  tests/e2e/safety_test.cpp
  tests/e2e/shell_test.cpp
  tests/e2e/sync_test.cpp
  tests/e2e/tray_about_test.cpp
  src/files/win_file_system.cpp)
add_executable(quill_e2e ${QUILL_E2E_SOURCES})
target_compile_definitions(quill_e2e PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                                             QUILL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
target_include_directories(quill_e2e PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/e2e ${QUILL_GENERATED})
target_link_libraries(quill_e2e PRIVATE quill_sync quill_core quill_driver oleacc oleaut32 ws2_32 GTest::gtest_main)
quill_warnings(quill_e2e)
add_dependencies(quill_e2e Quillidar quillidar-notes)
# One ctest entry per area, so a failure names its area; the last entry runs whatever no area
# names, so a new suite is never skipped.
set(QUILL_E2E_AREAS
    "shell=Shell*:*ShellEnding*"
    "diary=Diary*:*DiaryFile*"
    "look=Look*:*/Look.*"
    "menu=Menu*:*MenuCustomPattern*"
    "placement=Placement*:*PlacementStored*"
    "tray=Tray*:*TrayExit*"
    "about=About*:Help*:*/Help.*:HelpFile*"
    "safety=Safety*"
    "lunar=Lunar*")
set(all_filters)
foreach(area IN LISTS QUILL_E2E_AREAS)
  string(REPLACE "=" ";" parts "${area}")
  list(GET parts 0 name)
  list(GET parts 1 filter)
  list(APPEND all_filters ${filter})
  quill_wine_test(e2e.${name} $<TARGET_FILE:quill_e2e> --gtest_brief=1 --gtest_filter=${filter}
                  --quillidar=Z:$<TARGET_FILE:Quillidar>)
  set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP})
endforeach()
# The widget's own syncing, against a Radicale the entry's script starts.
list(APPEND all_filters "Sync*")
add_test(NAME e2e.sync
         COMMAND ${CMAKE_SOURCE_DIR}/tests/sync/widget_case.sh ${CMAKE_BINARY_DIR}/sync_case/widget
                 $<TARGET_FILE:quill_e2e> --gtest_brief=1 --gtest_filter=Sync* --quillidar=Z:$<TARGET_FILE:Quillidar>)
set_tests_properties(e2e.sync PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP} ENVIRONMENT "WINEDEBUG=-all")
# A window open over midnight, under a clock faked to start seconds before it: the driver and every
# program it starts run on the fake wall clock, the monotonic clocks (timers, waits) stay real.
list(APPEND all_filters "Midnight*")
set(QUILL_FAKETIME_LIB /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1) # Debian's faketime
if(EXISTS ${QUILL_FAKETIME_LIB})
  add_test(NAME e2e.midnight
           COMMAND env "FAKETIME=@2026-12-09 23:59:45" DONT_FAKE_MONOTONIC=1 LD_PRELOAD=${QUILL_FAKETIME_LIB}
                   QUILL_FAKE_EVENING=2026-12-09 ${WINE64} $<TARGET_FILE:quill_e2e> --gtest_brief=1
                   --gtest_filter=Midnight* --quillidar=Z:$<TARGET_FILE:Quillidar>)
  set_tests_properties(e2e.midnight PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP} ENVIRONMENT "WINEDEBUG=-all")
endif()
# The tests of a 144-DPI display run in a Wine session of their own at that DPI.
set(QUILL_E2E_DPI144 "Dpi144*")
list(APPEND all_filters ${QUILL_E2E_DPI144})
list(JOIN all_filters ":" joined)
quill_wine_test(e2e.other $<TARGET_FILE:quill_e2e> --gtest_brief=1 --gtest_filter=-${joined}
                --quillidar=Z:$<TARGET_FILE:Quillidar>)
set_tests_properties(e2e.other PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP})
add_test(NAME e2e.dpi144
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/lib/in-wine-session 144 $<TARGET_FILE:quill_e2e> --gtest_brief=1
                 --gtest_filter=${QUILL_E2E_DPI144} --quillidar=Z:$<TARGET_FILE:Quillidar>)
set_tests_properties(e2e.dpi144 PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP})
# The tests that carry text once more on a Chinese system (ANSI code page 936), in a session of its own:
# the same bytes must come out whatever the display language.
add_test(NAME e2e.cp936
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/lib/in-wine-session 96 $<TARGET_FILE:quill_e2e> --gtest_brief=1
                 --gtest_filter=PlatformCodePage*:Diary*:*DiaryFile*:*DiaryLongNote*:*DiaryKeptBytes*:Safety.TheNotesTool*
                 --quillidar=Z:$<TARGET_FILE:Quillidar>)
set_tests_properties(e2e.cp936 PROPERTIES TIMEOUT 600 RESOURCE_LOCK "${QUILL_DESKTOP};quill_prefix_zh_CN" COST 1000
                     ENVIRONMENT "QUILL_LANG=zh_CN.UTF-8;QUILL_EXPECT_ACP=936")


# Help.chm, compiled from docs/help at build time and shipped next to Quillidar.exe.
find_program(CHMCMD chmcmd)
if(CHMCMD)
  file(GLOB QUILL_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/help/*)
  set(help_work ${CMAKE_BINARY_DIR}/help)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/Help.chm
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${help_work}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/docs/help ${help_work}
    # The viewer reads the project's title and the contents in the help file's own code page (936).
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} iconv -f UTF-8 -t GBK -o quillidar.gbk quillidar.hhp
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} iconv -f UTF-8 -t GBK -o toc.gbk toc.hhc
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} ${CMAKE_COMMAND} -E rename quillidar.gbk quillidar.hhp
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} ${CMAKE_COMMAND} -E rename toc.gbk toc.hhc
    COMMAND ${CMAKE_COMMAND} -E chdir ${help_work} ${CHMCMD} quillidar.hhp
    # chmcmd stamps the time of day into the file; the release is the same whenever it is built.
    COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/lib/chm_stamp.py ${help_work}/Help.chm
    COMMAND ${CMAKE_COMMAND} -E copy ${help_work}/Help.chm ${CMAKE_BINARY_DIR}/Help.chm
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${QUILL_HELP_SOURCES} ${CMAKE_SOURCE_DIR}/scripts/lib/chm_stamp.py
    COMMENT "Compiling Help.chm")
  add_custom_target(help_chm ALL DEPENDS ${CMAKE_BINARY_DIR}/Help.chm)
  add_dependencies(Quillidar help_chm)
else()
  message(WARNING "chmcmd not found (Debian package fp-utils): Help.chm is not built")
endif()

# What the release ships, its checks (build.imports among them), the zip and the installer.
include(cmake/release.cmake)

# The sync's WinHTTP transport and password store against the real system libraries under Wine,
# with a small HTTP server of the test's own on loopback.
add_executable(quill_sync_win_tests tests/sync/transport_test.cpp)
target_compile_definitions(quill_sync_win_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                        _WIN32_WINNT=0x0601 WINVER=0x0601)
target_link_libraries(quill_sync_win_tests PRIVATE quill_sync GTest::gtest)
quill_warnings(quill_sync_win_tests)
add_test(NAME sync.transport.wine
         COMMAND ${CMAKE_SOURCE_DIR}/tests/sync/transport_case.sh ${WINE64} $<TARGET_FILE:quill_sync_win_tests>
                 ${CMAKE_BINARY_DIR}/transport_case)
set_tests_properties(sync.transport.wine PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 180)
# The sync's Windows code imports only KnownDLLs too, before any program of the release uses it:
# the test program holds all of it.
add_test(NAME build.imports.sync COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TOOLCHAIN_PREFIX}-objdump
                                         "-DEXES=$<TARGET_FILE:quill_sync_win_tests>"
                                         -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)
