# libFuzzer targets (tests/fuzz/*_fuzz.cpp), built with clang when
# PROCGUARD_FUZZ is on. Each runs as one CTest test for a bounded time on a
# copy of its seed corpus (tests/fuzz/corpus/<target>/) in the build folder;
# the corpus it grows there is kept for the next run, the source tree is never
# written.
option(PROCGUARD_FUZZ "Build and run the libFuzzer targets (needs clang)" OFF)
set(PROCGUARD_FUZZ_SECONDS 60 CACHE STRING "How long each fuzz test runs, in seconds")
set(PROCGUARD_FUZZ_RSS_LIMIT_MB 1024 CACHE STRING "Memory a fuzz run may use before it counts as a finding")

if(NOT PROCGUARD_FUZZ)
    return()
endif()
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(WARNING "PROCGUARD_FUZZ needs clang with libFuzzer on Linux (compiler: ${CMAKE_CXX_COMPILER_ID}); "
                    "no fuzz targets are built")
    return()
endif()

set(PROCGUARD_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

# The code under test is compiled again with coverage instrumentation:
# libFuzzer steers only by the edges it can see, and the plain core library
# of this build has none. A copy of its own also leaves unit_tests and
# os_tests of this build as they are.
get_target_property(PROCGUARD_FUZZ_CORE_SOURCES procguard_core SOURCES)
add_library(procguard_core_fuzz STATIC ${PROCGUARD_FUZZ_CORE_SOURCES})
target_include_directories(procguard_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(procguard_core_fuzz PRIVATE -fsanitize=fuzzer-no-link ${PROCGUARD_FUZZ_FLAGS})

# Sources each target needs besides the core: the INI text functions of the
# Linux backend with their oracle, or the fake backend.
set(PROCGUARD_FUZZ_EXTRA_ini_text
    ${CMAKE_SOURCE_DIR}/platform/posix/ini_text.cpp ${CMAKE_SOURCE_DIR}/platform/posix/profile_encoding.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/posix/ini_text_check.cpp)
set(PROCGUARD_FUZZ_EXTRA_setup_dialogue ${CMAKE_SOURCE_DIR}/platform/fake/fake_system.cpp)
set(PROCGUARD_FUZZ_EXTRA_substitution ${CMAKE_SOURCE_DIR}/platform/fake/fake_system.cpp)

set(PROCGUARD_FUZZ_WORK ${CMAKE_BINARY_DIR}/fuzz)
foreach(unit ini_text setup_dialogue substitution)
    set(name ${unit}_fuzz)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${name}.cpp)
    add_executable(${name} ${source} ${PROCGUARD_FUZZ_EXTRA_${unit}})
    target_link_libraries(${name} PRIVATE procguard_core_fuzz)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${PROCGUARD_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer ${PROCGUARD_FUZZ_FLAGS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROCGUARD_TEST_DIR})

    add_test(NAME fuzz.${unit}
             COMMAND ${CMAKE_COMMAND}
                     -DFUZZER=$<TARGET_FILE:${name}>
                     -DSEEDS=${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${unit}
                     -DWORK=${PROCGUARD_FUZZ_WORK}/${unit}
                     -DSECONDS=${PROCGUARD_FUZZ_SECONDS}
                     -DRSS_LIMIT_MB=${PROCGUARD_FUZZ_RSS_LIMIT_MB}
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run_fuzzer.cmake)
    math(EXPR limit "${PROCGUARD_FUZZ_SECONDS} + 180")
    set_tests_properties(fuzz.${unit} PROPERTIES TIMEOUT ${limit} LABELS fuzz)
endforeach()
