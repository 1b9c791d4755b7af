# Benchmarks (bench/): Google Benchmark figures of the portable core in the native tree; in the
# Windows tree the bare-dialog floors and the driver that measures Quillidar.exe against them.
# scripts/bench builds and runs both; nothing here is a pass/fail test.
set(QUILL_BENCH_DIR ${CMAKE_SOURCE_DIR}/bench)

if(WIN32)
  # The floors are the calendar window's own template with nothing of the program behind it.
  foreach(floor IN ITEMS startup idle_timer idle_second idle save)
    add_executable(floor_${floor} WIN32 ${QUILL_BENCH_DIR}/floor_dialog.cpp ${CMAKE_SOURCE_DIR}/src/res/quillidar.rc)
    target_include_directories(floor_${floor} PRIVATE ${CMAKE_SOURCE_DIR}/src ${QUILL_GENERATED})
    target_compile_definitions(floor_${floor} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
    target_link_libraries(floor_${floor} PRIVATE comctl32 gdi32 user32)
    target_link_options(floor_${floor} PRIVATE -municode)
    set_target_properties(floor_${floor} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    quill_warnings(floor_${floor})
  endforeach()
  target_compile_definitions(floor_startup PRIVATE QUILL_FLOOR_STARTUP)
  target_compile_definitions(floor_idle_timer PRIVATE QUILL_FLOOR_TIMER)
  target_compile_definitions(floor_idle_second PRIVATE QUILL_FLOOR_SECOND)
  target_compile_definitions(floor_save PRIVATE QUILL_FLOOR_SAVE)

  add_executable(startup_bench ${QUILL_BENCH_DIR}/startup_bench.cpp ${QUILL_BENCH_DIR}/startup_common.cpp
                               ${QUILL_BENCH_DIR}/startup_save_bench.cpp ${QUILL_BENCH_DIR}/startup_typing_bench.cpp
                               ${QUILL_BENCH_DIR}/win_run.cpp ${QUILL_BENCH_DIR}/bench_data.cpp)
  target_include_directories(startup_bench PRIVATE ${QUILL_BENCH_DIR})
  target_compile_definitions(startup_bench PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(startup_bench PRIVATE quill_core quill_driver psapi shell32 ole32 user32 gdi32 uuid)
  target_link_options(startup_bench PRIVATE -municode)
  set_target_properties(startup_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  quill_warnings(startup_bench)
  # The lunar view's paint, month change, start-up and memory against the template calendar's.
  add_executable(lunar_bench ${QUILL_BENCH_DIR}/lunar_bench.cpp ${QUILL_BENCH_DIR}/win_run.cpp)
  target_include_directories(lunar_bench PRIVATE ${QUILL_BENCH_DIR})
  target_link_libraries(lunar_bench PRIVATE quill_win quill_driver psapi)
  target_link_options(lunar_bench PRIVATE -municode)
  set_target_properties(lunar_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  quill_warnings(lunar_bench)
  # The window's answers while the widget's sync pulls a diary (bench/sync_bench.sh runs it).
  add_executable(sync_window_bench ${QUILL_BENCH_DIR}/sync_window_bench.cpp)
  target_compile_definitions(sync_window_bench PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(sync_window_bench PRIVATE quill_driver psapi user32)
  target_link_options(sync_window_bench PRIVATE -municode)
  set_target_properties(sync_window_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  quill_warnings(sync_window_bench)
  # The sync's PUTs made the plainest way WinHTTP allows: the push's floor under the same Wine.
  add_executable(winhttp_put_floor ${QUILL_BENCH_DIR}/winhttp_put_floor.cpp)
  target_compile_definitions(winhttp_put_floor PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(winhttp_put_floor PRIVATE winhttp)
  target_link_options(winhttp_put_floor PRIVATE -municode)
  set_target_properties(winhttp_put_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  quill_warnings(winhttp_put_floor)
  add_custom_target(bench_win DEPENDS Quillidar startup_bench floor_startup floor_idle_timer floor_idle
                                  floor_idle_second floor_save)
else()
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(core_bench ${QUILL_BENCH_DIR}/core_bench.cpp ${QUILL_BENCH_DIR}/bench_data.cpp)
    target_include_directories(core_bench PRIVATE ${QUILL_BENCH_DIR})
    target_link_libraries(core_bench PRIVATE quill_core benchmark::benchmark)
    set_target_properties(core_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    quill_warnings(core_bench)
    # One short pass over the smallest diary: the benchmarks still build and run.
    add_test(NAME bench.core_smoke COMMAND core_bench --benchmark_filter=/365$ --benchmark_min_time=0.001)
    # A month view's 42 cells with the almanac's facts, against a floor that only writes the days.
    add_executable(almanac_bench ${QUILL_BENCH_DIR}/almanac_bench.cpp)
    target_link_libraries(almanac_bench PRIVATE quill_core benchmark::benchmark)
    set_target_properties(almanac_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    quill_warnings(almanac_bench)
    add_test(NAME bench.almanac_smoke COMMAND almanac_bench --benchmark_min_time=0.001)
  else()
    message(STATUS "Google Benchmark not found (Debian package libbenchmark-dev): core_bench is not built")
  endif()
endif()
