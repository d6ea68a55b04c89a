# Installs the build tree into a fresh prefix, then builds the example client
# against it twice: through find_package(corvellib COMPONENTS devsim) and
# through pkg-config corvellib-devsim. Each build runs on a device file of
# its own, and the installed entmlst, in other processes, sees the example's
# change and arms a fault that fires in the example.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXAMPLES_DIR=... -DGENERATOR=... -DC_COMPILER=...
#         -P package_test.cmake
cmake_minimum_required(VERSION 3.25)

# run(args...): must succeed; leaves stdout in run_output.
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

# The headers, the libraries with their links, both packages' files, the tool.
file(GLOB_RECURSE installed RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
foreach(want include/corvellib.h libcorvellib.so libcorvellib.so.1 corvellibConfig.cmake
             corvellibConfigVersion.cmake corvellibTargets.cmake corvellib.pc
             include/devsim.h libdevsim.so corvellibDevsimTargets.cmake corvellib-devsim.pc bin/entmlst)
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

# Nothing below may find the build tree's libraries or a user's device.
unset(ENV{LD_LIBRARY_PATH})
set(ENV{HOME} ${WORK_DIR}/home)
unset(ENV{XDG_DATA_HOME})

# The installed entmlst runs without LD_LIBRARY_PATH, also from a copy of
# the prefix elsewhere.
file(COPY ${prefix}/ DESTINATION ${WORK_DIR}/moved)
set(ENV{ENTMLST_DEVICE} ${WORK_DIR}/moved.db)
run(${WORK_DIR}/moved/bin/entmlst get smtp)
set(entmlst ${prefix}/bin/entmlst)

# check_example(NAME EXE): the example on a device file of its own; entmlst
# sees its change; a fault armed with entmlst fires in the example.
function(check_example name exe)
  set(ENV{ENTMLST_DEVICE} ${WORK_DIR}/${name}.db)
  run(${exe})
  message(STATUS "${name}:\n${run_output}")
  run(${entmlst} --json get smtp)
  string(JSON server GET "${run_output}" fields server)
  string(JSON port GET "${run_output}" fields port)
  if(NOT server STREQUAL "smtp.corp.example" OR NOT port EQUAL 587)
    message(FATAL_ERROR "${name}: entmlst sees server ${server} port ${port}, not the example's change")
  endif()

  run(${entmlst} reset)
  run(${entmlst} fault add meSTCSetStatus=0x1234)
  execute_process(COMMAND ${exe} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT err MATCHES "entMLSTSetSmtp failed: 0x70020006")
    message(FATAL_ERROR "${name}: the armed fault did not fire in the example (exit ${rc})\n${out}${err}")
  endif()
  run(${entmlst} log)
  if(NOT run_output MATCHES "fault meSTCSetStatus answers 0x1234 \\(fault [0-9]+\\)\n[^\n]* call meSTCSetStatus[^\n]* = 0x1234\n")
    message(FATAL_ERROR "${name}: the log does not show the fault firing:\n${run_output}")
  endif()
  run(${entmlst} fault list)
  if(NOT run_output MATCHES "^[0-9]+  meSTCSetStatus=0x1234  hits 1, spent\n$")
    message(FATAL_ERROR "${name}: the fault is not listed as spent:\n${run_output}")
  endif()
endfunction()

# Each example is one C file with its own main; only those programs are run.
file(GLOB sources ${EXAMPLES_DIR}/*.c)
set(examples "")
foreach(src IN LISTS sources)
  get_filename_component(name ${src} NAME_WE)
  list(APPEND examples ${name})
endforeach()

# find_package(corvellib COMPONENTS devsim) and the imported targets.
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/cmake-client -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-client)
foreach(name IN LISTS examples)
  check_example(cmake-${name} ${WORK_DIR}/cmake-client/${name})
endforeach()

# pkg-config --cflags --libs corvellib-devsim (which requires corvellib).
get_filename_component(pc_dir ${at_corvellib.pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
find_program(PKG_CONFIG pkg-config REQUIRED)
run(${PKG_CONFIG} --cflags --libs corvellib-devsim)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
message(STATUS "pkg-config flags: ${flags}")
run(${PKG_CONFIG} --variable=libdir corvellib-devsim)
string(STRIP "${run_output}" lib_dir)
foreach(name IN LISTS examples)
  run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${EXAMPLES_DIR}/${name}.c ${flags} -Wl,-rpath,${lib_dir}
      -o ${WORK_DIR}/pc-${name})
  check_example(pkg-config-${name} ${WORK_DIR}/pc-${name})
endforeach()

# The README's line for linking by hand, as written there, under --as-needed.
file(STRINGS ${EXAMPLES_DIR}/../README.md by_hand REGEX "^# by hand: cc app\\.c ")
if(NOT by_hand)
  message(FATAL_ERROR "README.md shows no line for linking by hand")
endif()
string(REGEX REPLACE "^# by hand: cc app\\.c " "" by_hand "${by_hand}")
string(REPLACE "$HOME/corvellib/include" "${prefix}/include" by_hand "${by_hand}")
string(REPLACE "$HOME/corvellib/lib" "${lib_dir}" by_hand "${by_hand}")
separate_arguments(by_hand UNIX_COMMAND "${by_hand}")
foreach(name IN LISTS examples)
  run(${C_COMPILER} -std=c11 ${EXAMPLES_DIR}/${name}.c -Wl,--as-needed ${by_hand} -o ${WORK_DIR}/hand-${name})
  check_example(by-hand-${name} ${WORK_DIR}/hand-${name})
endforeach()
