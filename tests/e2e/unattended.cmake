# The real program run unattended against the test DNS server, from a copy in a
# temporary folder, as a cron job would run it (no display).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_test(NAME e2e_unattended
           COMMAND /bin/bash ${CMAKE_CURRENT_SOURCE_DIR}/unattended_e2e_test.sh
                   $<TARGET_FILE:ostrivane>)
  set_tests_properties(e2e_unattended PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS e2e)
endif()
