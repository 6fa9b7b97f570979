# What `cmake --install` puts in place for programs that use the library: the
# shared library with its SONAME and version links, the public header, a
# pkg-config file and a CMake package (find_package(TQDUDADE) gives the target
# TQDUDADE::TQDUDADE); the same for libdwgtext, the simple C API
# (find_package(dwgtext) gives dwgtext::dwgtext). dwgtext and its man page
# install from tools/dwgtext. Included from the top level after the
# TQDUDADE and dwgtext_capi targets are defined.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TQDUDADE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TQDUDADE)

install(TARGETS TQDUDADE EXPORT TQDUDADETargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/TQDUDADE.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT TQDUDADETargets NAMESPACE TQDUDADE:: DESTINATION ${TQDUDADE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TQDUDADEConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TQDUDADEConfig.cmake
    INSTALL_DESTINATION ${TQDUDADE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TQDUDADEConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TQDUDADEConfig.cmake ${PROJECT_BINARY_DIR}/TQDUDADEConfigVersion.cmake
    DESTINATION ${TQDUDADE_PACKAGE_DIR})

# The pkg-config file finds the prefix from its own place, so the installed
# tree may be moved, or installed with --prefix, and still be right.
file(RELATIVE_PATH TQDUDADE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" TQDUDADE_PC_TO_PREFIX "${TQDUDADE_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/TQDUDADE.pc.in ${PROJECT_BINARY_DIR}/TQDUDADE.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/TQDUDADE.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# libdwgtext finds libTQDUDADE beside it, whatever the program's own search
# path, and so does the linker of a program that names only -ldwgtext.
set(DWGTEXT_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dwgtext)
if(NOT WIN32)
    set_target_properties(dwgtext_capi PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
set_target_properties(dwgtext_capi PROPERTIES EXPORT_NAME dwgtext)
install(TARGETS dwgtext_capi EXPORT dwgtextTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/capi/dwgtext.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT dwgtextTargets NAMESPACE dwgtext:: DESTINATION ${DWGTEXT_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dwgtextConfig.cmake.in
    ${PROJECT_BINARY_DIR}/dwgtextConfig.cmake
    INSTALL_DESTINATION ${DWGTEXT_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dwgtextConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/dwgtextConfig.cmake ${PROJECT_BINARY_DIR}/dwgtextConfigVersion.cmake
    DESTINATION ${DWGTEXT_PACKAGE_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/dwgtext.pc.in ${PROJECT_BINARY_DIR}/dwgtext.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dwgtext.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The test installs into a fresh prefix and builds a small C host against
# the installed copy both ways. A 32-bit or sanitizer build would need the
# same flags in that host, so the test belongs to the plain build.
if(TQDUDADE_TESTS AND NOT CMAKE_CROSSCOMPILING AND NOT TQDUDADE_SANITIZE)
    add_test(NAME install_test
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
            ${PROJECT_BINARY_DIR} ${CMAKE_COMMAND} ${CMAKE_C_COMPILER} ${PROJECT_SOURCE_DIR}/samples/r14.dwg
            ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/samples/r2000.dwg)
endif()
