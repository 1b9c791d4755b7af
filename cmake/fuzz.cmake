# The libFuzzer harnesses of the two file decoders, in a clang tree of their own (scripts/fuzz
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
