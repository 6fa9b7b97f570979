# What `cmake --install` puts in place for programs that use the library: the
# shared library with its SONAME and version links, the public header, a
# pkg-config file and a CMake package (find_package(TQDUDADE) gives the target
# TQDUDADE::TQDUDADE); the same for libdwgtext, the simple C API
# (find_package(dwgtext) gives dwgtext::dwgtext). dwgtext and its man page
# install from tools/dwgtext. Included from the top level after the
# TQDUDADE and dwgtext_capi targets are defined.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The pkg-config files find the prefix from their own place, so the
# installed tree may be moved, or installed with --prefix, and still be
# right.
file(RELATIVE_PATH TQDUDADE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" TQDUDADE_PC_TO_PREFIX "${TQDUDADE_PC_TO_PREFIX}")

# A library, its header, its CMake package (find_package(NAME) gives
# NAME::NAME) and its pkg-config file NAME.pc, from NAMEConfig.cmake.in and
# NAME.pc.in beside this file.
function(tqdudade_install_package name target header)
    set(packageDir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    install(TARGETS ${target} EXPORT ${name}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${packageDir})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${name}Config.cmake.in
        ${PROJECT_BINARY_DIR}/${name}Config.cmake
        INSTALL_DESTINATION ${packageDir})
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/${name}ConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${PROJECT_BINARY_DIR}/${name}Config.cmake ${PROJECT_BINARY_DIR}/${name}ConfigVersion.cmake
        DESTINATION ${packageDir})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/${name}.pc.in ${PROJECT_BINARY_DIR}/${name}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

tqdudade_install_package(TQDUDADE TQDUDADE ${PROJECT_SOURCE_DIR}/include/TQDUDADE.h)

# libdwgtext holds the library's objects itself: it reads through a sink,
# which the shared library does not export.
tqdudade_install_package(dwgtext dwgtext_capi ${PROJECT_SOURCE_DIR}/capi/dwgtext.h)

# The test installs into a fresh prefix and builds a small C host against
# the installed copy both ways. A 32-bit or sanitizer build would need the
# same flags in that host, so the test belongs to the plain build.
if(TQDUDADE_TESTS AND NOT CMAKE_CROSSCOMPILING AND NOT TQDUDADE_SANITIZE)
    add_test(NAME install_test
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
            ${PROJECT_BINARY_DIR} ${CMAKE_COMMAND} ${CMAKE_C_COMPILER} ${PROJECT_SOURCE_DIR}/samples/r14.dwg
            ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/samples/r2000.dwg)
endif()
