# `cpack -G DEB` in a build directory makes one Debian package, tqdudade, of
# everything `cmake --install` puts in place: both libraries with their
# headers, pkg-config files and CMake packages, dwgtext, dwgtext-pre,
# dwgtext-server with its systemd unit, the man pages and the Python
# package. The package installs under the prefix the build was configured
# for, which the unit and the Python package's record of the library take
# their paths from: configure with -DCMAKE_INSTALL_PREFIX=/usr for a package
# of the system's. Included last from the top level.
set(CPACK_PACKAGE_NAME tqdudade)
set(CPACK_PACKAGE_VENDOR "TQDUDADE")
set(CPACK_PACKAGE_CONTACT "TQDUDADE developers <tqdudade@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Texts of DWG drawings (R10 to R2018) for search indexers")
set(CPACK_PACKAGE_DESCRIPTION
    "libdwgtext reads the texts of DWG drawings; dwgtext prints them, dwgtext-server serves them over HTTP, and the Python package tqdudade reads them through the library.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
# The C library the programs need, found by dpkg-shlibdeps; Python only for
# the Python package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3)
# The shlibs file, and the ldconfig trigger that makes the libraries' SONAMEs
# known to the loader when the package is installed.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
