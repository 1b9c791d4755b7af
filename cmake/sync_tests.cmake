# The sync against real CalDAV servers (Debian's Radicale and Xandikos on loopback ports), through
# the Windows programs under Wine: the same cases for each server, one entry per server.
if(WIN32)
  foreach(server radicale xandikos)
    add_test(NAME sync.${server}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/sync/real_server_case.sh ${server} $<TARGET_FILE:quillidar-notes>
                     ${CMAKE_BINARY_DIR}/sync_case/${server})
    set_tests_properties(sync.${server} PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300)
  endforeach()
endif()
