# Install rules of install component `corvellib`: the header, the library with its soname links, a CMake
# package (find_package(corvellib) -> corvellib::corvellib) and corvellib.pc.
# Both package files are relocatable, so `cmake --install --prefix` works.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(corvellib_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/corvellib)

install(TARGETS corvellib EXPORT corvellibTargets COMPONENT corvellib
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/corvellib.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT corvellib)
install(EXPORT corvellibTargets NAMESPACE corvellib:: DESTINATION ${corvellib_cmake_dir} COMPONENT corvellib)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/corvellibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/corvellibConfig.cmake
  INSTALL_DESTINATION ${corvellib_cmake_dir})
# The soname carries the major version: a new major is a new ABI.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/corvellibConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/corvellibConfig.cmake ${PROJECT_BINARY_DIR}/corvellibConfigVersion.cmake
  DESTINATION ${corvellib_cmake_dir} COMPONENT corvellib)

# pkg-config finds the prefix from where the .pc file lies.
file(RELATIVE_PATH corvellib_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" corvellib_pc_to_prefix "${corvellib_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvellib.pc.in ${PROJECT_BINARY_DIR}/corvellib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvellib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT corvellib)

# The example client, to read and to build against the installed package.
install(FILES ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt ${PROJECT_SOURCE_DIR}/examples/smtp_settings.c
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT corvellib)
