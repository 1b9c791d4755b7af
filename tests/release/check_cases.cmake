# Fails when the release driver holds a test case that none of its ctest entries runs: such a case
# would never run, and running it anywhere else could install into the shared test prefix.
#   cmake -DDRIVER=... -DWINE=... -DFILTERS=a:b:c -P check_cases.cmake
set(ENV{WINEDEBUG} -all)
execute_process(COMMAND ${WINE} ${DRIVER} --gtest_list_tests "--gtest_filter=-${FILTERS}"
                OUTPUT_VARIABLE listed RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the driver could not list its tests (${rc})")
endif()
string(REGEX MATCHALL "\n  [^\n]+" cases "${listed}")
if(cases)
  string(REPLACE "\n" "" cases "${cases}")
  message(FATAL_ERROR "test cases no ctest entry runs:${cases}")
endif()
