# The sync against real CalDAV servers (Debian's Radicale, Xandikos and SabreDAV on loopback ports),
# through the Windows programs under Wine: the same cases for each server, one entry per server.
if(WIN32)
  foreach(server radicale xandikos sabre)
    add_test(NAME sync.${server}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/sync/real_server_case.sh ${server} $<TARGET_FILE:quillidar-notes>
                     ${CMAKE_BINARY_DIR}/sync_case/${server})
    set_tests_properties(sync.${server} PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 300)
  endforeach()
  # The widget's own syncing against the server that lists by ETags only (no sync-collection) and
  # closes every connection: e2e.sync covers Radicale.
  add_test(NAME e2e.sync.sabre
           COMMAND ${CMAKE_SOURCE_DIR}/tests/sync/widget_case.sh ${CMAKE_BINARY_DIR}/sync_case/widget-sabre
                   $<TARGET_FILE:quill_e2e> --gtest_brief=1 --gtest_filter=Sync* --quillidar=Z:$<TARGET_FILE:Quillidar>)
  set_tests_properties(e2e.sync.sabre PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP}
                                                 ENVIRONMENT "WINEDEBUG=-all;QUILL_SYNC_SERVER=sabre")
endif()
if(NOT WIN32)
  # The sync benchmark's diary and curl's bodies read back as the same notes (bench/sync_bench_data.py).
  add_test(NAME sync.bench_data
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/sync/bench_data_test.py $<TARGET_FILE:quillidar-notes>
                   ${CMAKE_BINARY_DIR}/sync_case/bench_data)
  # The proxy the sync's tests and bench go through relays, or answers PUTs itself, as told.
  add_test(NAME sync.cut_proxy
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/sync/cut_proxy_test.py ${CMAKE_BINARY_DIR}/sync_case/cut_proxy)
endif()
