# The libFuzzer harnesses of the two file decoders and of quillidar-notes' check and salvage, in a clang tree of their own (scripts/fuzz
# configures it): the decoder library is built with the sanitizers and the fuzzer's coverage, and
# each harness links it. Nothing else of the project is built in this tree.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUILL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
set(QUILL_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
target_compile_options(quill_codec PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link -g -O1 -Wall -Wextra)
foreach(name IN ITEMS notes settings)
  add_executable(${name}_fuzz tests/fuzz/${name}_fuzz.cpp)
  target_link_libraries(${name}_fuzz PRIVATE quill_codec)
  target_compile_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer -g -O1 -Wall -Wextra)
  target_link_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer)
endforeach()
# quillidar-notes' reader, salvage and json/csv round trip over the same decoders. The md headings
# carry the lunar date, so the almanac comes too; clang writes its literals as UTF-8, not GBK, which
# changes the bytes of the words and none of the paths the fuzzer walks.
add_library(quill_salvage_fuzzed STATIC
  src/almanac/almanac_table.cpp
  src/almanac/civil_date.cpp
  src/almanac/festivals.cpp
  src/almanac/holidays.cpp
  src/almanac/lunar.cpp
  src/diary/date_key.cpp
  src/diary/note_join.cpp
  src/notes_tool/diary_dates.cpp
  src/notes_tool/export_formats.cpp
  src/notes_tool/filing.cpp
  src/notes_tool/import_formats.cpp
  src/notes_tool/lunar_days.cpp
  src/notes_tool/notes_scan.cpp
  src/ical/content_line.cpp
  src/ical/journal.cpp)
target_link_libraries(quill_salvage_fuzzed PUBLIC quill_codec)
target_compile_options(quill_salvage_fuzzed PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link -g -O1 -Wall -Wextra)
add_executable(salvage_fuzz tests/fuzz/salvage_fuzz.cpp)
target_link_libraries(salvage_fuzz PRIVATE quill_salvage_fuzzed)
target_compile_options(salvage_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer -g -O1 -Wall -Wextra)
target_link_options(salvage_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer)

# The journal of edits and the manifest of each diary's safety folder.
add_library(quill_safety_fuzzed STATIC
  src/files/file_store.cpp
  src/safety/content_hash.cpp
  src/safety/edit_journal.cpp
  src/safety/manifest.cpp)
target_link_libraries(quill_safety_fuzzed PUBLIC quill_salvage_fuzzed)
target_compile_options(quill_safety_fuzzed PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link -g -O1 -Wall -Wextra)
add_executable(journal_fuzz tests/fuzz/journal_fuzz.cpp)
target_link_libraries(journal_fuzz PRIVATE quill_safety_fuzzed)
target_compile_options(journal_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer -g -O1 -Wall -Wextra)
target_link_options(journal_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer)

# The sync's readers of what a CalDAV server sends: the multistatus (over expat) and the calendar
# resources.
find_package(EXPAT REQUIRED)
add_library(quill_sync_fuzzed STATIC
  src/almanac/civil_date.cpp
  src/diary/date_key.cpp
  src/ical/content_line.cpp
  src/ical/journal.cpp
  src/sync/day_resource.cpp
  src/sync/multistatus.cpp
  src/sync/sync_checksum.cpp
  src/sync/xml_expat.cpp)
target_link_libraries(quill_sync_fuzzed PUBLIC quill_codec EXPAT::EXPAT)
target_compile_options(quill_sync_fuzzed PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link -g -O1 -Wall -Wextra)
foreach(name IN ITEMS multistatus ical)
  add_executable(${name}_fuzz tests/fuzz/${name}_fuzz.cpp)
  target_link_libraries(${name}_fuzz PRIVATE quill_sync_fuzzed)
  target_compile_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer -g -O1 -Wall -Wextra)
  target_link_options(${name}_fuzz PRIVATE ${QUILL_FUZZ_SANITIZERS} -fsanitize=fuzzer)
endforeach()
