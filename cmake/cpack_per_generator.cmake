# Read by cpack once for each package it makes, before it installs the
# project for that package. The install rules cannot see cpack's variables,
# so the generator reaches cmake/install_per_package.cmake through the
# environment.
set(ENV{PROCGUARD_PACKAGE_GENERATOR} "${CPACK_GENERATOR}")
