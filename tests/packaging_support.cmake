# Helpers for the package checks of tests/<os>/packaging.cmake, which run
# them as scripts (cmake -P). Read while the project is configured as well,
# where it only defines these functions.

function(packaging_fail)
    string(JOIN "" text ${ARGN})
    message(FATAL_ERROR "${text}")
endfunction()

# Makes one package with the build's CPack configuration into an empty
# `folder` and sets `result` to its path.
function(packaging_make_package generator folder result)
    file(REMOVE_RECURSE ${folder})
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${CPACK} -G ${generator} -B ${folder} --config ${BUILD_DIR}/CPackConfig.cmake
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        packaging_fail("cpack -G ${generator} failed (${status}):\n${output}")
    endif()
    file(GLOB packages LIST_DIRECTORIES false ${folder}/*.deb ${folder}/*.tar.gz ${folder}/*.zip)
    list(LENGTH packages count)
    if(NOT count EQUAL 1)
        packaging_fail("cpack -G ${generator} made ${count} packages: ${packages}")
    endif()
    set(${result} ${packages} PARENT_SCOPE)
endfunction()

# Fails unless every entry of `expected` is a line of `listing`, with or
# without a leading "./".
function(packaging_expect_entries listing what)
    string(REPLACE "\n" ";" lines "${listing}")
    set(entries "")
    foreach(line ${lines})
        string(REGEX REPLACE "^\\./" "" line "${line}")
        string(REGEX REPLACE "/$" "" line "${line}")
        list(APPEND entries "${line}")
    endforeach()
    foreach(entry ${ARGN})
        if(NOT entry IN_LIST entries)
            packaging_fail("${what} lacks ${entry}; it holds:\n${listing}")
        endif()
    endforeach()
endfunction()

# The paths that a package must hold besides the program, relative to the
# install prefix: the README goes with them once the project has one.
function(packaging_documents docDir examplesDir result)
    set(documents ${examplesDir}/example.ini)
    if(EXISTS ${SOURCE_DIR}/README.md)
        list(APPEND documents ${docDir}/README.md)
    endif()
    set(${result} ${documents} PARENT_SCOPE)
endfunction()

# Runs the watchdog without a terminal and without input, so that its key
# waits return at once, and fails unless it exits with 0 after printing every
# one of the expected texts.
function(packaging_expect_run workDir outputFile)
    cmake_parse_arguments(PARSE_ARGV 2 run "" "" "COMMAND;EXPECT")
    execute_process(COMMAND ${run_COMMAND}
                    WORKING_DIRECTORY ${workDir}
                    INPUT_FILE /dev/null
                    OUTPUT_FILE ${outputFile} ERROR_FILE ${outputFile}.err
                    TIMEOUT 60
                    RESULT_VARIABLE status)
    file(READ ${outputFile} output)
    file(READ ${outputFile}.err errors)
    string(REPLACE "\r" "" output "${output}")
    if(NOT status STREQUAL "0")
        packaging_fail("${run_COMMAND} ended with ${status}:\n${output}\n${errors}")
    endif()
    foreach(text ${run_EXPECT})
        string(FIND "${output}" "${text}" at)
        if(at EQUAL -1)
            packaging_fail("${run_COMMAND} did not print \"${text}\":\n${output}\n${errors}")
        endif()
    endforeach()
endfunction()
