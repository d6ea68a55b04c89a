# Installs the build tree into a fresh prefix, then builds and runs a C client
# against it twice: through find_package(corvellib) and through pkg-config.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSERVICES_LIBRARY=... -DGENERATOR=...
#         -DC_COMPILER=... -P package_test.cmake
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

# find_package(corvellib) and the imported target.
run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK_DIR}/cmake-client -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix} -DSERVICES_LIBRARY=${SERVICES_LIBRARY})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-client)
run(${WORK_DIR}/cmake-client/client)
message(STATUS "find_package client: ${run_output}")

# pkg-config --cflags --libs corvellib.
get_filename_component(pc_dir ${at_corvellib.pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
find_program(PKG_CONFIG pkg-config REQUIRED)
run(${PKG_CONFIG} --cflags --libs corvellib)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
message(STATUS "pkg-config flags: ${flags}")
run(${C_COMPILER} ${CMAKE_CURRENT_LIST_DIR}/client.c ${flags} ${SERVICES_LIBRARY}
    -Wl,-rpath,${services_dir} -o ${WORK_DIR}/pc-client)
get_filename_component(lib_dir ${at_libcorvellib.so.1} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
run(${WORK_DIR}/pc-client)
message(STATUS "pkg-config client: ${run_output}")
