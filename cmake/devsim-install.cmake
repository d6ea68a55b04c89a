# Install rules of libdevsim and its control headers (C++ devsim.h, C
# corvellib_devsim.h), as install component `devsim` (with the Python
# package, python/): CMake target corvellib::devsim (through find_package(corvellib
# COMPONENTS devsim)) and pkg-config corvellib-devsim. Lets a program built
# against the installed package run on a PC against the simulated device.
include(GNUInstallDirs)

set(corvellib_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/corvellib)

install(TARGETS devsim EXPORT corvellibDevsimTargets COMPONENT devsim
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# devsim.h includes the types of the layers below it and the services' list.
install(FILES ${PROJECT_SOURCE_DIR}/sim/api/devsim.h ${PROJECT_SOURCE_DIR}/sim/api/corvellib_devsim.h
  ${PROJECT_SOURCE_DIR}/sim/device/devsim_device.h ${PROJECT_SOURCE_DIR}/sim/store/devsim_types.h
  ${PROJECT_SOURCE_DIR}/contract/device_services.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devsim)
install(EXPORT corvellibDevsimTargets NAMESPACE corvellib:: DESTINATION ${corvellib_cmake_dir} COMPONENT devsim)

file(RELATIVE_PATH corvellib_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" corvellib_pc_to_prefix "${corvellib_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvellib-devsim.pc.in ${PROJECT_BINARY_DIR}/corvellib-devsim.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvellib-devsim.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT devsim)

# The tests of a program against the simulated device, beside the example
# client they test (the README's three ways: C, entmlst run, pytest).
install(FILES ${PROJECT_SOURCE_DIR}/examples/testing/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/examples/testing/smtp_device_test.c ${PROJECT_SOURCE_DIR}/examples/testing/smtp_settings_run.sh
  ${PROJECT_SOURCE_DIR}/examples/testing/test_smtp_settings.py ${PROJECT_SOURCE_DIR}/examples/testing/smtp_settings.trace
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/testing COMPONENT devsim)
