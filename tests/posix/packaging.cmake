# The Linux packages: what the .deb and the .tar.gz hold, and that the
# program in each runs from where the package puts it.
#
# Read while the project is configured, this file adds the tests; each test
# runs it again as a script with CHECK set to the package to examine.

if(NOT CMAKE_SCRIPT_MODE_FILE)
    # Packages are made from the plain build; a sanitizer build's binary
    # would only repeat the same checks, slower.
    if(PROCGUARD_SANITIZE)
        return()
    endif()
    find_program(PROCGUARD_DPKG_DEB dpkg-deb)
    find_program(PROCGUARD_SETSID setsid)
    find_program(PROCGUARD_MAN man)
    # Checks of the .deb that run only where their tool is installed.
    find_program(PROCGUARD_LINTIAN lintian)
    find_program(PROCGUARD_SYSTEMD_ANALYZE systemd-analyze)
    if(NOT PROCGUARD_SETSID)
        message(STATUS "Package tests: off (no setsid to run the packaged program without a terminal)")
        return()
    endif()
    set(packaging_arguments
        -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
        -DCPACK=${CMAKE_CPACK_COMMAND} -DSETSID=${PROCGUARD_SETSID}
        -DVERSION=${PROJECT_VERSION} -DTEST_PROGRAMS=${PROCGUARD_TEST_DIR})
    set(packaging_checks tgz)
    if(PROCGUARD_DPKG_DEB)
        list(APPEND packaging_checks deb)
    else()
        message(STATUS "Package tests: no .deb check (dpkg-deb is missing)")
    endif()
    foreach(check ${packaging_checks})
        add_test(NAME packaging_${check}
                 COMMAND ${CMAKE_COMMAND} -DCHECK=${check} ${packaging_arguments}
                         -DDPKG_DEB=${PROCGUARD_DPKG_DEB} -DMAN=${PROCGUARD_MAN}
                         -DLINTIAN=${PROCGUARD_LINTIAN} -DSYSTEMD_ANALYZE=${PROCGUARD_SYSTEMD_ANALYZE}
                         -P ${CMAKE_CURRENT_LIST_FILE})
        # cpack builds the tree's "preinstall" target: two at once would
        # run make twice in the same build folder.
        set_tests_properties(packaging_${check} PROPERTIES TIMEOUT 120 RESOURCE_LOCK procguard_build_tree
                                                           LABELS realtime)
    endforeach()
    return()
endif()

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../packaging_support.cmake)
set(work ${BUILD_DIR}/tests/packaging_${CHECK})

if(CHECK STREQUAL "deb")
    packaging_make_package(DEB ${work}/package deb)

    execute_process(COMMAND ${DPKG_DEB} -c ${deb} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        packaging_fail("dpkg-deb -c ${deb} failed")
    endif()
    # dpkg-deb -c prints "mode owner size date time path": keep the path.
    string(REGEX REPLACE "[^\n]* \\./" "./" listing "${listing}")
    packaging_documents(usr/share/doc/procguard usr/share/doc/procguard/examples documents)
    packaging_expect_entries("${listing}" ${deb}
        usr/bin/procguard usr/share/man/man1/procguard.1.gz ${documents}
        usr/share/doc/procguard/copyright usr/share/doc/procguard/changelog.gz
        usr/lib/systemd/system/procguard@.service usr/lib/systemd/user/procguard-desktop@.service)
    if(LINTIAN)
        execute_process(COMMAND ${LINTIAN} --fail-on error ${deb}
                        OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            packaging_fail("lintian finds errors in ${deb}:\n${output}")
        endif()
    endif()

    foreach(field Package Version Depends)
        execute_process(COMMAND ${DPKG_DEB} -f ${deb} ${field} OUTPUT_VARIABLE value
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        set(deb_${field} "${value}")
    endforeach()
    if(NOT deb_Package STREQUAL "procguard" OR NOT deb_Version STREQUAL VERSION)
        packaging_fail("the package is ${deb_Package} ${deb_Version}, not procguard ${VERSION}")
    endif()
    # The binary cannot start without libcap, and a health URL cannot be
    # checked without libcurl, which it loads at run time where no tool sees
    # it; a package that does not pull them in installs and then fails on a
    # fresh machine.
    foreach(library libcap2 libcurl4)
        if(NOT deb_Depends MATCHES "(^|, )${library}( |,|$)")
            packaging_fail("Depends does not name ${library}: ${deb_Depends}")
        endif()
    endforeach()

    file(MAKE_DIRECTORY ${work}/root)
    execute_process(COMMAND ${DPKG_DEB} -x ${deb} ${work}/root RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        packaging_fail("dpkg-deb -x ${deb} failed")
    endif()
    # A new version needs its changelog entry: the top one names this version.
    execute_process(COMMAND gzip -dc ${work}/root/usr/share/doc/procguard/changelog.gz OUTPUT_VARIABLE changelog)
    if(NOT changelog MATCHES "^procguard \\(${VERSION}\\) ")
        packaging_fail("the changelog does not begin with version ${VERSION}:\n${changelog}")
    endif()

    # The service runs the packaged program with the command the README shows.
    set(units ${work}/root/usr/lib/systemd)
    file(STRINGS ${units}/system/procguard@.service start REGEX "^ExecStart=")
    if(NOT start STREQUAL "ExecStart=/usr/bin/procguard --events /var/log/procguard/%i.jsonl /etc/procguard/%i.ini")
        packaging_fail("procguard@.service starts: ${start}")
    endif()
    # systemd-analyze checks that the program and the manual page a unit
    # names exist on this machine (the page through man, where there is
    # one): the copies it reads name the extracted ones. Any message (an
    # unknown key, a bad specifier) fails the check.
    if(SYSTEMD_ANALYZE)
        file(REMOVE_RECURSE ${work}/units)
        file(MAKE_DIRECTORY ${work}/units/runtime)
        file(CHMOD ${work}/units/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
        foreach(unit system/procguard@.service user/procguard-desktop@.service)
            get_filename_component(manager ${unit} DIRECTORY)
            get_filename_component(name ${unit} NAME)
            file(READ ${units}/${unit} text)
            string(REPLACE "/usr/bin/procguard" "${work}/root/usr/bin/procguard" text "${text}")
            file(WRITE ${work}/units/${name} "${text}")
            string(REPLACE "@." "@check." instance ${name})
            set(man_check --man=yes)
            if(NOT MAN)
                set(man_check --man=no)
            endif()
            execute_process(COMMAND ${CMAKE_COMMAND} -E env MANPATH=${work}/root/usr/share/man
                                    XDG_RUNTIME_DIR=${work}/units/runtime
                                    ${SYSTEMD_ANALYZE} --${manager} ${man_check} verify ${work}/units/${instance}
                            OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
            if(NOT status EQUAL 0 OR NOT output STREQUAL "")
                packaging_fail("systemd-analyze --${manager} verify ${name} (${status}):\n${output}")
            endif()
        endforeach()
    endif()

    if(MAN)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 ${MAN} -l
                                ${work}/root/usr/share/man/man1/procguard.1.gz
                        OUTPUT_VARIABLE page ERROR_VARIABLE warnings RESULT_VARIABLE status)
        if(NOT status EQUAL 0 OR NOT page MATCHES "EXIT STATUS" OR NOT page MATCHES "procguard ${VERSION}")
            packaging_fail("the installed manual page does not render as version ${VERSION}:\n${warnings}")
        endif()
    endif()

    # The example as installed, with one change: it watches a private copy of
    # sleep, as any other sleep running on this machine would count as the
    # target. Everything else (variables, periods, finish condition) is
    # the example's own.
    set(example ${work}/root/usr/share/doc/procguard/examples/example.ini)
    file(READ ${example} text)
    if(NOT text MATCHES "\nprocessName=/usr/bin/sleep\n" OR NOT EXISTS /usr/bin/sleep)
        packaging_fail("the example does not watch /usr/bin/sleep, which every Debian system has")
    endif()
    file(MAKE_DIRECTORY ${work}/run)
    file(COPY /usr/bin/sleep DESTINATION ${work}/run)
    string(REPLACE "processName=/usr/bin/sleep" "processName=${work}/run/sleep" text "${text}")
    file(WRITE ${work}/run/example.ini "${text}")
    packaging_expect_run(${work}/run ${work}/run/output.txt
        COMMAND ${SETSID} --wait ${work}/root/usr/bin/procguard example.ini
        EXPECT "Process restarted (1 runs)." "<Seconds> : 3\nProcess restarted (3 runs)."
               "All done now.")
elseif(CHECK STREQUAL "tgz")
    packaging_make_package(TGZ ${work}/package archive)

    execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archive} OUTPUT_VARIABLE listing)
    get_filename_component(top ${archive} NAME)
    string(REGEX REPLACE "\\.tar\\.gz$" "" top ${top})
    packaging_documents(${top}/share/doc/procguard ${top}/share/doc/procguard/examples documents)
    packaging_expect_entries("${listing}" ${archive}
        ${top}/bin/procguard ${top}/share/man/man1/procguard.1.gz ${documents}
        ${top}/share/doc/procguard/LICENSE
        ${top}/lib/systemd/system/procguard@.service ${top}/lib/systemd/user/procguard-desktop@.service)

    file(MAKE_DIRECTORY ${work}/root)
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} WORKING_DIRECTORY ${work}/root)
    set(program ${work}/root/${top}/bin/procguard)
    # Its units name the program where the README unpacks the archive.
    file(STRINGS ${work}/root/${top}/lib/systemd/user/procguard-desktop@.service start REGEX "^ExecStart=")
    if(NOT start MATCHES "^ExecStart=/usr/local/bin/procguard ")
        packaging_fail("the .tar.gz's procguard-desktop@.service starts: ${start}")
    endif()

    # A config file that cannot be used is exit status 3, with the usage.
    execute_process(COMMAND ${SETSID} --wait ${program} no-such-config.ini
                    WORKING_DIRECTORY ${work} INPUT_FILE /dev/null
                    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status TIMEOUT 30)
    if(NOT status STREQUAL "3" OR NOT output MATCHES "Usage: procguard \\[--events FILE\\] \\[--no-wait\\] \\[config-file\\]")
        packaging_fail("a missing config file gave ${status} and:\n${output}")
    endif()
    execute_process(COMMAND ${program} --version OUTPUT_VARIABLE output RESULT_VARIABLE status TIMEOUT 30)
    if(NOT status STREQUAL "0" OR NOT output STREQUAL "procguard ${VERSION}\n")
        packaging_fail("--version gave ${status} and: ${output}")
    endif()

    # One restart of a target that records its arguments: the packaged
    # program starts it with the variable replaced.
    file(MAKE_DIRECTORY ${work}/run)
    file(REMOVE ${work}/run/recorded41.args)
    file(WRITE ${work}/run/record.ini
        "[main]\nprocessName=${TEST_PROGRAMS}/argv_recorder\n"
        "commandParams=\"${work}/run/recorded<Run>.args\" <Run>\n"
        "checkPeriod=100\nresponseTimeout=1000\nvariables=1\n"
        "[finishCondition]\ntype=2\ndataInt=1\n"
        "[variable0]\ntype=0\nname=<Run>\nbaseValue=40\n")
    packaging_expect_run(${work}/run ${work}/run/output.txt
        COMMAND ${SETSID} --wait ${program} record.ini
        EXPECT "<Run> : 41\nProcess restarted (1 runs).")
    # The target runs on its own: wait for its record, for up to 30 s.
    foreach(attempt RANGE 300)
        if(EXISTS ${work}/run/recorded41.args)
            break()
        endif()
        execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.1)
    endforeach()
    if(NOT EXISTS ${work}/run/recorded41.args)
        packaging_fail("the target was not started with its variable replaced")
    endif()
    file(READ ${work}/run/recorded41.args recorded HEX)
    # argv[1] and argv[2], each ended by a zero byte.
    string(HEX "${work}/run/recorded41.args" path)
    if(NOT recorded MATCHES "00${path}00343100$")
        packaging_fail("the target got the arguments ${recorded}")
    endif()
else()
    packaging_fail("unknown package check '${CHECK}'")
endif()
