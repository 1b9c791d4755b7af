# The libFuzzer harnesses of the two file decoders and of quillidar-notes' check and salvage, in a clang tree of their own (scripts/fuzz
# configures it): the decoder library is built with the sanitizers and the fuzzer's coverage, and
# each harness links it. Nothing else of the project is built in this tree.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUILL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
set(QUILL_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
set(QUILL_FUZZ_FLAGS -g -O1 -Wall -Wextra)
target_compile_options(quill_codec PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link ${QUILL_FUZZ_FLAGS})

# A static library of project sources built as the fuzzers see them, over the libraries it uses.
#   quill_fuzzed_library(NAME USES lib... SOURCES file...)
function(quill_fuzzed_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "USES;SOURCES")
  add_library(${name} STATIC ${arg_SOURCES})
  target_link_libraries(${name} PUBLIC ${arg_USES})
  target_compile_options(${name} PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link ${QUILL_FUZZ_FLAGS})
endfunction()

# The harness tests/fuzz/<name>_fuzz.cpp over one library, as the target <name>_fuzz.
function(quill_fuzzer name library)
  add_executable(${name}_fuzz tests/fuzz/${name}_fuzz.cpp)
  target_link_libraries(${name}_fuzz PRIVATE ${library})
  target_compile_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer ${QUILL_FUZZ_FLAGS})
  target_link_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer)
endfunction()

quill_fuzzer(notes quill_codec)
quill_fuzzer(settings quill_codec)

# quillidar-notes' reader, salvage and json/csv round trip over the same decoders. The md headings
# carry the lunar date, so the almanac comes too; clang writes its literals as UTF-8, not GBK, which
# changes the bytes of the words and none of the paths the fuzzer walks. A line per folder.
quill_fuzzed_library(quill_salvage_fuzzed USES quill_codec SOURCES
  src/almanac/almanac_table.cpp src/almanac/civil_date.cpp src/almanac/festivals.cpp
  src/almanac/holidays.cpp src/almanac/lunar.cpp
  src/diary/date_key.cpp src/diary/note_join.cpp
  src/notes_tool/diary_dates.cpp src/notes_tool/export_formats.cpp src/notes_tool/filing.cpp
  src/notes_tool/import_formats.cpp src/notes_tool/lunar_days.cpp src/notes_tool/notes_scan.cpp
  src/ical/content_line.cpp src/ical/journal.cpp)
quill_fuzzer(salvage quill_salvage_fuzzed)

# The journal of edits and the manifest of each diary's safety folder.
quill_fuzzed_library(quill_safety_fuzzed USES quill_salvage_fuzzed SOURCES
  src/files/file_store.cpp
  src/safety/content_hash.cpp src/safety/edit_journal.cpp src/safety/manifest.cpp)
quill_fuzzer(journal quill_safety_fuzzed)

# The sync's readers of what a CalDAV server sends: the multistatus (over expat) and the calendar
# resources. The dates and iCalendar lines they read with are the salvage's, built once.
find_package(EXPAT REQUIRED)
quill_fuzzed_library(quill_sync_fuzzed USES quill_salvage_fuzzed EXPAT::EXPAT SOURCES
  src/sync/day_resource.cpp src/sync/multistatus.cpp src/sync/sync_checksum.cpp
  src/sync/xml_expat.cpp)
quill_fuzzer(multistatus quill_sync_fuzzed)
quill_fuzzer(ical quill_sync_fuzzed)
