# cmake -DFUZZER=BINARY -DSEEDS=DIR [-DREGRESSIONS=DIR] -P replay.cmake
#
# Runs the fuzz target once on every seed and every kept crash input, the way
# libFuzzer replays a crash: an input that fails again fails the test. The
# regression folder is optional; a target without a crash yet has none.
if(NOT FUZZER OR NOT SEEDS)
  message(FATAL_ERROR "usage: cmake -DFUZZER=BINARY -DSEEDS=DIR [-DREGRESSIONS=DIR] -P replay.cmake")
endif()

file(GLOB_RECURSE seeds LIST_DIRECTORIES false "${SEEDS}/*")
if(NOT seeds)
  message(FATAL_ERROR "no seeds in ${SEEDS}")
endif()
set(kept)
if(REGRESSIONS AND IS_DIRECTORY "${REGRESSIONS}")
  file(GLOB_RECURSE kept LIST_DIRECTORIES false "${REGRESSIONS}/*")
endif()

set(inputs ${seeds} ${kept})
list(SORT inputs)
list(LENGTH seeds seed_count)
list(LENGTH kept kept_count)
execute_process(COMMAND "${FUZZER}" ${inputs} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}) on one of its inputs")
endif()
message(STATUS "replayed ${seed_count} seeds and ${kept_count} kept crash inputs")
