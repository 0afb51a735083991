# The Windows package: procguard.exe imports only system DLLs and carries its
# manifest and version, and the .zip holds it with the example, which runs
# under Wine with no DLL beside the program.
#
# Read while the project is configured, this file adds the tests; each test
# runs it again as a script with CHECK set to what to examine.

if(NOT CMAKE_SCRIPT_MODE_FILE)
    set(packaging_arguments
        -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
        -DCPACK=${CMAKE_CPACK_COMMAND} -DVERSION=${PROJECT_VERSION}
        -DPROGRAM=$<TARGET_FILE:procguard>)
    if(CMAKE_OBJDUMP)
        add_test(NAME packaging_exe
                 COMMAND ${CMAKE_COMMAND} -DCHECK=exe ${packaging_arguments} -DOBJDUMP=${CMAKE_OBJDUMP}
                         -P ${CMAKE_CURRENT_LIST_FILE})
        set_tests_properties(packaging_exe PROPERTIES TIMEOUT 60)
    else()
        message(STATUS "Package tests: no import check (no objdump)")
    endif()
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        add_test(NAME packaging_zip
                 COMMAND ${CMAKE_COMMAND} -DCHECK=zip ${packaging_arguments}
                         "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${CMAKE_CURRENT_LIST_FILE})
        # cpack builds the tree's "preinstall" target, which must not run
        # beside another make in the same build folder.
        set_tests_properties(packaging_zip PROPERTIES TIMEOUT 120 RESOURCE_LOCK procguard_build_tree LABELS realtime)
    endif()
    return()
endif()

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../packaging_support.cmake)
set(work ${BUILD_DIR}/tests/packaging_${CHECK})

if(CHECK STREQUAL "exe")
    # A stock Windows has these (winhttp since XP SP1; dbghelp.dll, which
    # writes the dumps, in System32 since XP); anything else (libstdc++-6.dll,
    # libgcc_s_seh-1.dll, libwinpthread-1.dll ...) would have to ship beside
    # the program.
    set(system_dlls kernel32 user32 shell32 advapi32 psapi winhttp msvcrt ucrtbase dbghelp)
    execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        packaging_fail("${OBJDUMP} -p ${PROGRAM} failed")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
    if(NOT imports)
        packaging_fail("no imports found in ${PROGRAM}:\n${headers}")
    endif()
    foreach(import ${imports})
        string(REGEX REPLACE "^DLL Name: (.+)\\.[dD][lL][lL]$" "\\1" dll "${import}")
        string(TOLOWER "${dll}" dll)
        if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-crt-")
            packaging_fail("procguard.exe imports ${import}, which a stock Windows does not have")
        endif()
    endforeach()

    # The manifest is UTF-8 text in the resources; the version strings are
    # UTF-16.
    file(STRINGS ${PROGRAM} manifest REGEX "asInvoker|activeCodePage|longPathAware")
    foreach(setting [[level="asInvoker"]] [[>UTF-8</activeCodePage>]] [[<longPathAware[^>]*>true<]])
        if(NOT manifest MATCHES "${setting}")
            packaging_fail("the manifest lacks ${setting}: ${manifest}")
        endif()
    endforeach()
    file(STRINGS ${PROGRAM} version ENCODING UTF-16LE REGEX "^(FileVersion|ProductVersion|[0-9]+\\.[0-9]+\\.[0-9]+)$")
    foreach(field FileVersion ProductVersion)
        string(FIND "${version}" "${field};${VERSION}" at)
        if(at EQUAL -1)
            packaging_fail("procguard.exe has no ${field} ${VERSION} in its version resource")
        endif()
    endforeach()
elseif(CHECK STREQUAL "zip")
    # Runs one of the package's scripts in its folder and fails unless it
    # ends with `status` and its output matches `pattern`.
    function(expect_script status pattern script)
        execute_process(COMMAND ${EMULATOR} cmd.exe /c .\\${script} ${ARGN} WORKING_DIRECTORY ${folder}
                        INPUT_FILE /dev/null OUTPUT_VARIABLE output ERROR_VARIABLE output
                        RESULT_VARIABLE result TIMEOUT 60)
        if(NOT result STREQUAL status OR NOT output MATCHES "${pattern}")
            packaging_fail("${script} ${ARGN} gave ${result}, not ${status} with \"${pattern}\":\n${output}")
        endif()
    endfunction()

    packaging_make_package(ZIP ${work}/package zip)
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing)
    get_filename_component(top ${zip} NAME)
    string(REGEX REPLACE "\\.zip$" "" top ${top})
    packaging_documents(${top} ${top} documents)
    packaging_expect_entries("${listing}" ${zip} ${top}/procguard.exe ${documents}
        ${top}/LICENSE ${top}/start-at-logon.cmd ${top}/remove-logon-task.cmd)
    if(listing MATCHES "\\.[dD][lL][lL]\n")
        packaging_fail("the zip holds DLLs:\n${listing}")
    endif()

    # The example as the user runs it: from the unpacked folder, by its
    # relative name. Its target is PING.EXE, which Wine has as well.
    file(MAKE_DIRECTORY ${work}/root)
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${work}/root)
    file(GLOB dlls ${work}/root/${top}/*.dll ${work}/root/${top}/*.DLL)
    if(dlls)
        packaging_fail("DLLs beside the program: ${dlls}")
    endif()
    packaging_expect_run(${work}/root/${top} ${work}/output.txt
        COMMAND ${EMULATOR} procguard.exe example.ini
        EXPECT "<Seconds> : 2\nProcess restarted (1 runs)." "<Seconds> : 4\nProcess restarted (3 runs)."
               "All done now.")

    # The Task Scheduler scripts, run by Wine's cmd from the unpacked folder
    # (as .\NAME: Wine's cmd reads start-at-logon.cmd as its start command).
    # cmd misses labels in a script with bare LF line ends. (Read as text,
    # a file loses its CRs: the bytes are compared.)
    set(folder ${work}/root/${top})
    foreach(script start-at-logon.cmd remove-logon-task.cmd)
        file(READ ${folder}/${script} bytes HEX)
        string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
        string(REPLACE "0d 0a " "" bytes "${bytes}")
        if(bytes MATCHES "(^| )0a ")
            packaging_fail("${script} has lines that do not end in CRLF")
        endif()
    endforeach()
    # Wine's schtasks makes no task from a command line (/TR), so the maker is
    # run only as far as the arguments it refuses.
    file(MAKE_DIRECTORY ${folder}/folder.ini)
    string(REPEAT "d" 130 long)
    file(WRITE ${folder}/${long}.ini "[main]\n")
    expect_script(2 "Usage: start-at-logon.cmd CONFIG.ini \\[task-name\\]" start-at-logon.cmd)
    expect_script(3 "no config file \"Z:[^\n]*missing.ini\"" start-at-logon.cmd missing.ini)
    expect_script(3 "is a folder" start-at-logon.cmd folder.ini)
    expect_script(1 "longer than the 261 characters" start-at-logon.cmd ${long}.ini)
    expect_script(2 "Usage: remove-logon-task.cmd" remove-logon-task.cmd)
    # The remover finds a task by its config file's name: it is gone after.
    file(WRITE ${work}/task.xml [[<?xml version="1.0"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
<Actions><Exec><Command>procguard.exe</Command></Exec></Actions></Task>
]])
    string(REPLACE "/" "\\" xml "Z:${work}/task.xml")
    # In a fresh Wine prefix the Task Scheduler service may refuse the first
    # requests while it starts: asked again until it takes one, for a minute.
    string(TIMESTAMP giveUp "%s" UTC)
    math(EXPR giveUp "${giveUp} + 60")
    set(status 1)
    while(NOT status EQUAL 0)
        execute_process(COMMAND ${EMULATOR} schtasks /Create /TN procguard-example /XML ${xml} /F
                        INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE status TIMEOUT 60)
        string(TIMESTAMP now "%s" UTC)
        if(NOT status EQUAL 0 AND now GREATER giveUp)
            break()
        elseif(NOT status EQUAL 0)
            execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
        endif()
    endwhile()
    if(NOT status EQUAL 0)
        packaging_fail("Wine's schtasks made no task from ${xml}")
    endif()
    expect_script(0 "" remove-logon-task.cmd example.ini)
    expect_script(1 "" remove-logon-task.cmd procguard-example)
else()
    packaging_fail("unknown package check '${CHECK}'")
endif()
