# What `cmake --install` lays out, and the CMake package that packages built
# elsewhere find with find_package(Vorna):
#
#   bin/vorna                          the program
#   bin/lib<name>.so                   packages: the loader looks beside the program
#   share/<name>/<name>.rc             their descriptions (../share from the program)
#   lib/libvornahost.so                the host library
#   include/vorna/<module>/*.h         its headers, included as <module/Header.h>
#   lib/cmake/Vorna/                   VornaConfig.cmake, its version file, the targets
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VORNA_INCLUDE_INSTALL_DIR ${CMAKE_INSTALL_INCLUDEDIR}/vorna)
set(VORNA_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vorna)
set(VORNA_PACKAGE_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
cmake_path(GET CMAKE_INSTALL_BINDIR PARENT_PATH VORNA_DESCRIPTION_INSTALL_DIR)
cmake_path(APPEND VORNA_DESCRIPTION_INSTALL_DIR share)

# The installed program and packages find the host library from where they lie.
cmake_path(RELATIVE_PATH CMAKE_INSTALL_FULL_LIBDIR BASE_DIRECTORY ${CMAKE_INSTALL_FULL_BINDIR}
           OUTPUT_VARIABLE VORNA_LIB_FROM_BIN)
set_target_properties(vorna vevazaru PROPERTIES INSTALL_RPATH "$ORIGIN/${VORNA_LIB_FROM_BIN}")

set_target_properties(vornahost PROPERTIES EXPORT_NAME host)
set_target_properties(vorna_tcl PROPERTIES EXPORT_NAME tcl)
install(TARGETS vornahost EXPORT VornaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${VORNA_INCLUDE_INSTALL_DIR})
install(TARGETS vorna_tcl EXPORT VornaTargets)
# Every header of every module folder, so that a moved or new header needs no
# edit here.
install(DIRECTORY host/ DESTINATION ${VORNA_INCLUDE_INSTALL_DIR} FILES_MATCHING PATTERN "*.h")

install(TARGETS vorna RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vevazaru LIBRARY DESTINATION ${VORNA_PACKAGE_INSTALL_DIR})
install(FILES vevazaru/share/vevazaru.rc DESTINATION ${VORNA_DESCRIPTION_INSTALL_DIR}/vevazaru)

install(EXPORT VornaTargets NAMESPACE Vorna:: DESTINATION ${VORNA_CMAKE_INSTALL_DIR})
configure_package_config_file(cmake/VornaConfig.cmake.in ${CMAKE_BINARY_DIR}/VornaConfig.cmake
  INSTALL_DESTINATION ${VORNA_CMAKE_INSTALL_DIR})
# Before 1.0 a minor release may change the host's classes.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VornaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VornaConfig.cmake ${CMAKE_BINARY_DIR}/VornaConfigVersion.cmake
  DESTINATION ${VORNA_CMAKE_INSTALL_DIR})
