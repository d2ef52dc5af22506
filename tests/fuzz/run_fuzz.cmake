# Runs the settings loader fuzz target for a short while, seeded with
# settings files that btgen writes. Variables: FUZZER (the target), BTGEN,
# WORK (a scratch folder), SECONDS.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/seeds" "${WORK}/corpus" "${WORK}/artifacts")
foreach(seed IN ITEMS "default.bt" "plain.bt;--uncompressed" "stream.bt;--set;generationMode=2;--uncompressed"
                      "user.bt;--set;payloadType=7;--set;bitPattern=A5")
  list(POP_FRONT seed name)
  execute_process(COMMAND "${BTGEN}" save-settings "${WORK}/seeds/${name}" ${seed}
                  OUTPUT_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "btgen could not write the seed ${name}")
  endif()
endforeach()
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10
                        -print_final_stats=1 "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus" "${WORK}/seeds"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a failing input; see ${WORK}/artifacts")
endif()
