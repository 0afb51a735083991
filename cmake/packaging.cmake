# Installation rules, the packages CPack makes from them, and the Windows
# version resource and manifest.
#
#   Linux:   cmake --install <build> [--prefix /usr/local]
#            cpack --config <build>/CPackConfig.cmake      (.deb and .tar.gz)
#   Windows: cmake --install <build> --prefix <folder>
#            cpack --config <build>/CPackConfig.cmake      (.zip)

include(GNUInstallDirs)

set(PROCGUARD_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# Debian wants a mail address beside the maintainer's name; this one, under a
# domain reserved for examples, reaches nobody. Whoever hands the packages
# out puts their own here.
set(PROCGUARD_PACKAGE_CONTACT "procguard developers <procguard@example.org>" CACHE STRING
    "Maintainer of the packages and signer of the .deb's changelog: a name and a mail address")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)

if(WIN32)
    # The version numbers come from the project; the manifest is taken from
    # the source folder by absolute path, so the configured .rc compiles
    # wherever the build folder is.
    set(PROCGUARD_MANIFEST_FILE ${PROCGUARD_PACKAGING_DIR}/procguard.exe.manifest)
    configure_file(${PROCGUARD_PACKAGING_DIR}/procguard.rc ${CMAKE_BINARY_DIR}/packaging/procguard.rc @ONLY)
    target_sources(procguard PRIVATE ${CMAKE_BINARY_DIR}/packaging/procguard.rc)
    set_source_files_properties(${CMAKE_BINARY_DIR}/packaging/procguard.rc PROPERTIES
        OBJECT_DEPENDS ${PROCGUARD_MANIFEST_FILE})

    # A cross build from Linux would otherwise install the .exe into the
    # host's /usr/local (the default of build folders made before this rule).
    if(CMAKE_CROSSCOMPILING AND (CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT
                                 OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local"))
        set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/install CACHE PATH "Install folder" FORCE)
    endif()

    # One flat folder: the program, its README, licence and example, and the
    # scripts that make and remove a Task Scheduler task for it, side by side.
    set(PROCGUARD_INSTALL_BIN .)
    set(PROCGUARD_INSTALL_DOC .)
    set(PROCGUARD_INSTALL_EXAMPLES .)
    # CRLF line ends, so that every Notepad shows them as lines, and so that
    # cmd.exe finds the labels of the scripts (it can miss them in LF files).
    set(PROCGUARD_EXAMPLE ${CMAKE_BINARY_DIR}/packaging/example-windows.ini)
    configure_file(${PROCGUARD_PACKAGING_DIR}/example-windows.ini ${PROCGUARD_EXAMPLE}
                   @ONLY NEWLINE_STYLE CRLF)
    configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/LICENSE DESTINATION .)
    foreach(script start-at-logon.cmd remove-logon-task.cmd)
        configure_file(${PROCGUARD_PACKAGING_DIR}/windows/${script} ${CMAKE_BINARY_DIR}/packaging/${script}
                       @ONLY NEWLINE_STYLE CRLF)
        install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/${script} DESTINATION .)
    endforeach()
else()
    set(PROCGUARD_INSTALL_BIN ${CMAKE_INSTALL_BINDIR})
    set(PROCGUARD_INSTALL_DOC ${CMAKE_INSTALL_DATAROOTDIR}/doc/procguard)
    set(PROCGUARD_INSTALL_EXAMPLES ${PROCGUARD_INSTALL_DOC}/examples)
    set(PROCGUARD_EXAMPLE ${PROCGUARD_PACKAGING_DIR}/example.ini)

    # Debian installs manual pages compressed; man reads both forms. -n keeps
    # the file's time stamp out of the archive, so rebuilds give the same bytes.
    find_program(PROCGUARD_GZIP gzip)
    set(PROCGUARD_MAN_PAGE ${PROCGUARD_PACKAGING_DIR}/procguard.1)
    if(PROCGUARD_GZIP)
        set(PROCGUARD_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/procguard.1.gz)
        add_custom_command(OUTPUT ${PROCGUARD_MAN_PAGE}
            COMMAND ${PROCGUARD_GZIP} -9 -n -c ${PROCGUARD_PACKAGING_DIR}/procguard.1 > ${PROCGUARD_MAN_PAGE}
            DEPENDS ${PROCGUARD_PACKAGING_DIR}/procguard.1
            COMMENT "Compressing the manual page"
            VERBATIM)
        add_custom_target(procguard_man_page ALL DEPENDS ${PROCGUARD_MAN_PAGE})
    endif()
    install(FILES ${PROCGUARD_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    # The .deb's copyright file in Debian's machine-readable format, made
    # from LICENSE so that the two never disagree: its copyright line, then
    # the text, each line indented and blank lines as " .".
    file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
    if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
        message(FATAL_ERROR "LICENSE has no line \"Copyright (c) ...\" before its text")
    endif()
    set(PROCGUARD_COPYRIGHT "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" licence)
    string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
    string(REPLACE "\n" "\n " licence "${licence}")
    set(PROCGUARD_LICENSE_TEXT " ${licence}")
    configure_file(${PROCGUARD_PACKAGING_DIR}/debian/copyright.in ${CMAKE_BINARY_DIR}/packaging/copyright @ONLY)

    # Debian's changelog, compressed as Debian wants it. The version is a
    # native one (no Debian revision), so the file is changelog.gz.
    set(PROCGUARD_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog)
    configure_file(${PROCGUARD_PACKAGING_DIR}/debian/changelog.in ${PROCGUARD_CHANGELOG} @ONLY)
    if(PROCGUARD_GZIP)
        add_custom_command(OUTPUT ${PROCGUARD_CHANGELOG}.gz
            COMMAND ${PROCGUARD_GZIP} -9 -n -c ${PROCGUARD_CHANGELOG} > ${PROCGUARD_CHANGELOG}.gz
            DEPENDS ${PROCGUARD_CHANGELOG}
            COMMENT "Compressing the changelog"
            VERBATIM)
        add_custom_target(procguard_changelog ALL DEPENDS ${PROCGUARD_CHANGELOG}.gz)
        set(PROCGUARD_CHANGELOG ${PROCGUARD_CHANGELOG}.gz)
    endif()

    # The systemd units, and the files that differ between the .deb and the
    # other installs, are installed by a script that knows which install it is.
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_per_generator.cmake)
    install(CODE "
        set(PROCGUARD_SOURCE_DIR [[${CMAKE_SOURCE_DIR}]])
        set(PROCGUARD_GENERATED_DIR [[${CMAKE_BINARY_DIR}/packaging]])
        set(PROCGUARD_CHANGELOG [[${PROCGUARD_CHANGELOG}]])
        set(PROCGUARD_INSTALL_BIN [[${PROCGUARD_INSTALL_BIN}]])
        set(PROCGUARD_INSTALL_DOC [[${PROCGUARD_INSTALL_DOC}]])
        include([[${CMAKE_SOURCE_DIR}/cmake/install_per_package.cmake]])")
endif()

install(TARGETS procguard RUNTIME DESTINATION ${PROCGUARD_INSTALL_BIN})
install(FILES ${PROCGUARD_EXAMPLE} DESTINATION ${PROCGUARD_INSTALL_EXAMPLES} RENAME example.ini)
if(EXISTS ${CMAKE_SOURCE_DIR}/README.md)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${PROCGUARD_INSTALL_DOC})
endif()

# Packages.
set(CPACK_PACKAGE_NAME procguard)
set(CPACK_PACKAGE_VENDOR "procguard developers")
set(CPACK_PACKAGE_CONTACT "${PROCGUARD_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console watchdog that keeps one program running and answering")
# Line ends are kept: the .deb's long description wants lines of at most 80
# characters.
set(CPACK_PACKAGE_DESCRIPTION [[
procguard checks a target program at a fixed period and starts it again
when it is missing, or when its window no longer answers, after terminating
it. The arguments of each start can carry the number of restarts so far or
the number of files matching a mask. The run ends after a number of
restarts, on a number of files, on a variable's value, or never. Settings
come from a console dialogue or from an INI config file.]])
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME procguard-${PROJECT_VERSION}-win64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    string(TOLOWER ${CMAKE_SYSTEM_PROCESSOR} PROCGUARD_ARCH)
    set(CPACK_PACKAGE_FILE_NAME procguard-${PROJECT_VERSION}-linux-${PROCGUARD_ARCH})

    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION admin)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The libraries the binary really links (libcap, libxcb when the build
    # found it, the C++ runtime) with the versions it needs. dpkg-shlibdeps
    # comes with dpkg-dev; without it, the same list by name. libcurl is
    # loaded at run time, which dpkg-shlibdeps cannot see: it is named here.
    find_program(PROCGUARD_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(PROCGUARD_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
        set(CPACK_DEBIAN_PACKAGE_DEPENDS libcurl4)
    else()
        set(PROCGUARD_DEB_DEPENDS libc6 libgcc-s1 libstdc++6 libcap2 libcurl4)
        if(PROCGUARD_HAVE_XCB)
            list(APPEND PROCGUARD_DEB_DEPENDS libxcb1)
        endif()
        string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${PROCGUARD_DEB_DEPENDS})
    endif()
endif()

include(CPack)
