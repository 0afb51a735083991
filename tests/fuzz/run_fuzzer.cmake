# Runs one fuzz target for a bounded time:
#   cmake -DFUZZER=<exe> -DSEEDS=<seed folder> -DWORK=<work folder>
#         -DSECONDS=<n> -DRSS_LIMIT_MB=<n> -P run_fuzzer.cmake
# The seeds are copied into WORK/corpus, which the run extends; findings go
# to WORK/artifacts. A finding, a crash or a hang fails the test.
foreach(required FUZZER SEEDS WORK SECONDS RSS_LIMIT_MB)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "run_fuzzer.cmake: -D${required}=... is missing")
    endif()
endforeach()

file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${SEEDS}/*)
if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK}/corpus)
endif()

# -timeout: one input that runs this long is a hang, which is a finding.
execute_process(
    COMMAND ${FUZZER} ${WORK}/corpus
            -max_total_time=${SECONDS}
            -timeout=10
            -rss_limit_mb=${RSS_LIMIT_MB}
            -print_final_stats=1
            -artifact_prefix=${WORK}/artifacts/
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(GLOB findings ${WORK}/artifacts/*)
    message(FATAL_ERROR "fuzzer ${FUZZER} stopped with ${status}; inputs kept: ${findings}")
endif()
