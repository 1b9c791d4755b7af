# Extras of the native tree: libFuzzer harnesses for the two file decoders and for quillidar-notes'
# check and salvage, built by clang only (scripts/fuzz configures a clang tree for them). They
# compile the decoders' own sources, not quill_core, whose GBK execution character set clang does
# not offer.
option(QUILL_FUZZ "Build the libFuzzer harnesses of the file decoders (clang only)" OFF)

if(QUILL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUILL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(QUILL_FUZZ_SANITIZERS -fsanitize=fuzzer,address,undefined)
  set(QUILL_DECODER_SOURCES
      src/diary/archive.cpp src/diary/gb18030.cpp src/diary/gb18030_table.cpp src/diary/note_map.cpp
      src/diary/notes_file.cpp
      src/appearance/calendar_settings.cpp src/appearance/settings_file.cpp)
  list(TRANSFORM QUILL_DECODER_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  foreach(name IN ITEMS notes settings)
    add_executable(${name}_fuzz ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}_fuzz.cpp ${QUILL_DECODER_SOURCES})
    target_include_directories(${name}_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fno-sanitize-recover=all -g -O1 -Wall -Wextra)
    target_link_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS})
  endforeach()
  # quillidar-notes' check, salvage and json/csv round trip over the same decoders.
  set(QUILL_SALVAGE_SOURCES src/notes_tool/diary_dates.cpp src/notes_tool/export_formats.cpp src/notes_tool/filing.cpp
                            src/notes_tool/import_formats.cpp src/notes_tool/notes_scan.cpp src/notes_tool/text_codec.cpp)
  list(TRANSFORM QUILL_SALVAGE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  add_executable(salvage_fuzz ${CMAKE_SOURCE_DIR}/tests/fuzz/salvage_fuzz.cpp ${QUILL_DECODER_SOURCES}
                              ${QUILL_SALVAGE_SOURCES})
  target_include_directories(salvage_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(salvage_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fno-sanitize-recover=all -g -O1 -Wall -Wextra)
  target_link_options(salvage_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS})
endif()
include(cmake/bench.cmake OPTIONAL)
