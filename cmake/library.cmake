# libframeprobe, shared and static, with its headers, CMake package and
# pkg-config file.
include(CMakePackageConfigHelpers)

set(FRAMEPROBE_PUBLIC_INCLUDE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

add_library(frameprobe_shared SHARED $<TARGET_OBJECTS:frameprobe_objects>)
set_target_properties(frameprobe_shared PROPERTIES OUTPUT_NAME frameprobe EXPORT_NAME frameprobe
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(frameprobe_shared INTERFACE ${FRAMEPROBE_PUBLIC_INCLUDE})
target_link_libraries(frameprobe_shared PRIVATE Threads::Threads tomlplusplus::tomlplusplus ${CMAKE_DL_LIBS})
add_dependencies(frameprobe_shared frameprobe-ffmpeg)

add_library(frameprobe_static STATIC $<TARGET_OBJECTS:frameprobe_objects>)
set_target_properties(frameprobe_static PROPERTIES OUTPUT_NAME frameprobe EXPORT_NAME frameprobe_static)
target_include_directories(frameprobe_static INTERFACE ${FRAMEPROBE_PUBLIC_INCLUDE})
target_link_libraries(frameprobe_static INTERFACE Threads::Threads tomlplusplus::tomlplusplus ${CMAKE_DL_LIBS})

# The shared library goes with the program's package; what builds against it
# (its link name, the static library, headers, CMake and pkg-config files) with
# the development package.
install(TARGETS frameprobe_shared frameprobe_static EXPORT frameprobeTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT frameprobe NAMELINK_COMPONENT libframeprobe-dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libframeprobe-dev)
install(FILES include/frameprobe/frameprobe.h include/frameprobe/frameprobe.hpp include/frameprobe/version.h
  include/frameprobe/export.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/frameprobe COMPONENT libframeprobe-dev)

set(FRAMEPROBE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/frameprobe)
install(EXPORT frameprobeTargets NAMESPACE frameprobe:: DESTINATION ${FRAMEPROBE_CMAKE_DIR}
  COMPONENT libframeprobe-dev)
set(FRAMEPROBE_MODULE_SUBDIR ${CMAKE_INSTALL_LIBDIR}/frameprobe)  # FFmpeg's module, for static clients' run path
configure_package_config_file(cmake/frameprobeConfig.cmake.in ${PROJECT_BINARY_DIR}/frameprobeConfig.cmake
  INSTALL_DESTINATION ${FRAMEPROBE_CMAKE_DIR} PATH_VARS FRAMEPROBE_MODULE_SUBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/frameprobeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/frameprobeConfig.cmake ${PROJECT_BINARY_DIR}/frameprobeConfigVersion.cmake
  DESTINATION ${FRAMEPROBE_CMAKE_DIR} COMPONENT libframeprobe-dev)

# The pkg-config file finds the prefix from its own place, so a prefix given at
# install time (cmake --install --prefix) works too.
string(REGEX REPLACE "[^/]+" ".." FRAMEPROBE_PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
configure_file(cmake/frameprobe.pc.in ${PROJECT_BINARY_DIR}/frameprobe.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/frameprobe.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT libframeprobe-dev)
