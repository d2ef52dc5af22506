# Runs a self-contained fuzz target for a short while from an empty corpus
# and the seeds in SEEDS (a folder, optional). Variables: FUZZER, WORK,
# SECONDS, SEEDS.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
set(seed_dirs)
if(SEEDS AND EXISTS "${SEEDS}")
  list(APPEND seed_dirs "${SEEDS}")
endif()
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -rss_limit_mb=1024 -malloc_limit_mb=768 -timeout=10
                        -print_final_stats=1 "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus" ${seed_dirs}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a failing input; see ${WORK}/artifacts")
endif()
