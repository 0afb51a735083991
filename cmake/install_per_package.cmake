# Install rules whose files depend on the package being made. This runs at
# install time, where cpack names its generator in the environment variable
# PROCGUARD_PACKAGE_GENERATOR (cmake/cpack_per_generator.cmake); a plain
# cmake --install names none.
#
# Set by the install code of cmake/packaging.cmake: PROCGUARD_SOURCE_DIR,
# PROCGUARD_GENERATED_DIR (the build's packaging folder, which holds the
# copyright file), PROCGUARD_CHANGELOG (compressed where gzip was found), and
# PROCGUARD_INSTALL_BIN and PROCGUARD_INSTALL_DOC relative to the prefix.

set(package "$ENV{PROCGUARD_PACKAGE_GENERATOR}")

# The units start procguard by its absolute path, as systemd wants it. The
# .tar.gz is made in a scratch folder, which is no place to name: its units
# point where the README unpacks it, /usr/local.
if(package STREQUAL "TGZ")
    set(program /usr/local/${PROCGUARD_INSTALL_BIN}/procguard)
else()
    set(program ${CMAKE_INSTALL_PREFIX}/${PROCGUARD_INSTALL_BIN}/procguard)
endif()
set(stage install)
if(package)
    set(stage ${package})
endif()
foreach(unit system/procguard@.service user/procguard-desktop@.service)
    get_filename_component(manager ${unit} DIRECTORY)
    get_filename_component(name ${unit} NAME)
    file(READ ${PROCGUARD_SOURCE_DIR}/packaging/systemd/${name}.in text)
    string(REPLACE "@PROCGUARD_PROGRAM@" "${program}" text "${text}")
    set(configured ${PROCGUARD_GENERATED_DIR}/units-${stage}/${unit})
    file(WRITE ${configured} "${text}")
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/${manager}" TYPE FILE FILES ${configured})
endforeach()

# The .deb states its licence the Debian way, in copyright, and carries the
# changelog that Debian's tools look for; the other installs carry the
# licence as it stands.
if(package STREQUAL "DEB")
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${PROCGUARD_INSTALL_DOC}" TYPE FILE
         FILES ${PROCGUARD_GENERATED_DIR}/copyright ${PROCGUARD_CHANGELOG})
else()
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${PROCGUARD_INSTALL_DOC}" TYPE FILE
         FILES ${PROCGUARD_SOURCE_DIR}/LICENSE)
endif()
