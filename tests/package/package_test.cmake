# Installs the build tree into a fresh prefix, then builds and runs the example
# client against it twice: through find_package(corvellib) and through
# pkg-config. The simulator provides the device's services.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXAMPLES_DIR=... -DSERVICES_LIBRARY=...
#         -DGENERATOR=... -DC_COMPILER=... -P package_test.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " cmd)
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The header, the library with both soname links, and both package files.
file(GLOB_RECURSE installed RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
foreach(want include/corvellib.h libcorvellib.so libcorvellib.so.1 corvellibConfig.cmake
             corvellibConfigVersion.cmake corvellibTargets.cmake corvellib.pc)
  set(hit "")
  foreach(f IN LISTS installed)
    if(f MATCHES "(^|/)${want}$")
      set(hit ${prefix}/${f})
    endif()
  endforeach()
  if(NOT hit)
    message(FATAL_ERROR "not installed: ${want}\ninstalled: ${installed}")
  endif()
  if(want MATCHES "^libcorvellib" AND NOT IS_SYMLINK ${hit})
    message(FATAL_ERROR "${want} is not a link to the library")
  endif()
  set(at_${want} ${hit})
endforeach()

get_filename_component(services_dir ${SERVICES_LIBRARY} DIRECTORY)

# The version file accepts 1.x requests and refuses other majors.
get_filename_component(cmake_dir ${at_corvellibConfig.cmake} DIRECTORY)
foreach(request 1.0:TRUE 2.0:FALSE 0.9:FALSE)
  string(REPLACE ":" ";" request ${request})
  list(GET request 0 PACKAGE_FIND_VERSION)
  list(GET request 1 expected)
  string(REGEX MATCH "^[0-9]+" PACKAGE_FIND_VERSION_MAJOR ${PACKAGE_FIND_VERSION})
  set(PACKAGE_VERSION_COMPATIBLE "")
  include(${cmake_dir}/corvellibConfigVersion.cmake)
  if(NOT PACKAGE_VERSION_COMPATIBLE STREQUAL expected)
    message(FATAL_ERROR "request ${PACKAGE_FIND_VERSION}: compatible=${PACKAGE_VERSION_COMPATIBLE}")
  endif()
endforeach()

# find_package(corvellib) and the imported target.
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/cmake-client -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix} -DSERVICES_LIBRARY=${SERVICES_LIBRARY})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-client)
# Each example program is named after its C file; the build folder also holds
# the generator's own files, so only those names are run.
file(GLOB example_sources ${EXAMPLES_DIR}/*.c)
if(NOT example_sources)
  message(FATAL_ERROR "no example source in ${EXAMPLES_DIR}")
endif()
foreach(src IN LISTS example_sources)
  get_filename_component(name ${src} NAME_WE)
  set(exe ${WORK_DIR}/cmake-client/${name})
  if(NOT EXISTS ${exe})
    message(FATAL_ERROR "example program not built: ${exe}")
  endif()
  run(${exe})
  message(STATUS "find_package build, ${exe}:\n${run_output}")
endforeach()

# pkg-config --cflags --libs corvellib.
get_filename_component(pc_dir ${at_corvellib.pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
find_program(PKG_CONFIG pkg-config REQUIRED)
run(${PKG_CONFIG} --cflags --libs corvellib)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
message(STATUS "pkg-config flags: ${flags}")
get_filename_component(lib_dir ${at_libcorvellib.so.1} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
# Each example is one C file with its own main.
file(GLOB sources ${EXAMPLES_DIR}/*.c)
foreach(src IN LISTS sources)
  get_filename_component(name ${src} NAME_WE)
  run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${src} ${flags} ${SERVICES_LIBRARY}
      -Wl,-rpath,${services_dir} -o ${WORK_DIR}/pc-${name})
  run(${WORK_DIR}/pc-${name})
  message(STATUS "pkg-config build, ${name}:\n${run_output}")
endforeach()
