# Runs one fuzz target for SECONDS seconds over a fresh working corpus that
# starts from the seeds in SEEDS; fails when the fuzzer reports anything.
# Usage: cmake -DFUZZER=... -DSEEDS=... -DWORK=... -DARTIFACTS=... -DSECONDS=...
#              [-DOPTIONS=extra;options] -P run_fuzzer.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}" "${ARTIFACTS}")
execute_process(
  COMMAND "${FUZZER}"
    -max_total_time=${SECONDS}
    -timeout=30
    -rss_limit_mb=2048
    -close_fd_mask=3
    -print_final_stats=1
    -artifact_prefix=${ARTIFACTS}/
    ${OPTIONS}
    "${WORK}" "${SEEDS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found a fault (exit ${result}); see ${ARTIFACTS}")
endif()
