# The real quillidar-notes on one case, natively or under Wine (RUN): the small diary's json export
# is the stored bytes, importing that export into a new file gives the diary back byte for byte,
# and check names the damaged sample's offset with exit status 1.
#   cmake -DTOOL=... [-DRUN=wine64 -DPATH_PREFIX=Z:] -DDATA=tests/data/tool -DWORK=dir -P this
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run expect_rc)
  execute_process(COMMAND ${RUN} ${TOOL} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL expect_rc)
    message(FATAL_ERROR "quillidar-notes ${ARGN}: exit status ${rc}, not ${expect_rc}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(same_bytes actual expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual} ${expected} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${actual} differs from ${expected}")
  endif()
endfunction()

run(0 export ${PATH_PREFIX}${DATA}/small.nts --format json --pivot 2027 -o ${PATH_PREFIX}${WORK}/small.json)
same_bytes(${WORK}/small.json ${DATA}/small.json)

run(0 import ${PATH_PREFIX}${WORK}/small.json --into ${PATH_PREFIX}${WORK}/back.nts)
same_bytes(${WORK}/back.nts ${DATA}/small.nts)
file(GLOB leftovers ${WORK}/back.nts.*)
if(leftovers)
  message(FATAL_ERROR "the save left files behind: ${leftovers}")
endif()

run(1 check ${PATH_PREFIX}${DATA}/../e2e_count3_two_entries.bin)
if(NOT err MATCHES "e2e_count3_two_entries.bin: damaged at byte 32: the count says 3 entries but the file ends after 2\n$")
  message(FATAL_ERROR "check's error line: ${err}")
endif()
