# `ostrivane --check-zones` end to end: the real program against the test DNS
# server, one zone of each kind, inside netns_run.sh's private network
# namespace (skipped with 77 where no namespace can be made).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_test(NAME e2e_check_zones
           COMMAND /bin/bash ${CMAKE_CURRENT_LIST_DIR}/check_zones_e2e_test.sh
                   $<TARGET_FILE:ostrivane>)
  set_tests_properties(e2e_check_zones PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 60 LABELS e2e)
endif()
