# Each install component into a prefix of its own installs exactly its
# files; the installed control headers compile with nothing but the prefix's
# include folder (C++ and plain C); an unknown find_package component is named;
# the installed Python package finds its prefix's libdevsim and entmlst.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DLIBDIR=... -DC_COMPILER=... -DCXX_COMPILER=...
#         -DGENERATOR=... -P components_test.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " cmd)
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
endfunction()

# component: regexes of the files it installs, each matching at least one.
set(L ${LIBDIR})
set(want_corvellib
  "include/corvellib.h" "${L}/libcorvellib\\.so" "${L}/libcorvellib\\.so\\.1" "${L}/libcorvellib\\.so\\.1\\.[0-9.]+"
  "${L}/cmake/corvellib/corvellibConfig\\.cmake" "${L}/cmake/corvellib/corvellibConfigVersion\\.cmake"
  "${L}/cmake/corvellib/corvellibTargets\\.cmake" "${L}/cmake/corvellib/corvellibTargets-[a-z]+\\.cmake"
  "${L}/pkgconfig/corvellib\\.pc" "share/doc/corvellib/examples/CMakeLists\\.txt"
  "share/doc/corvellib/examples/smtp_settings\\.c")
set(want_devsim
  "include/devsim\\.h" "include/corvellib_devsim\\.h" "include/devsim_device\\.h" "include/devsim_types\\.h"
  "include/device_services\\.h"
  "${L}/libdevsim\\.so" "${L}/libdevsim\\.so\\.2" "${L}/libdevsim\\.so\\.2\\.[0-9.]+"
  "${L}/cmake/corvellib/corvellibDevsimTargets\\.cmake" "${L}/cmake/corvellib/corvellibDevsimTargets-[a-z]+\\.cmake"
  "${L}/pkgconfig/corvellib-devsim\\.pc"
  "lib/python3/dist-packages/corvellib_testkit/(__init__|simulated_device|_paths)\\.py"
  "share/doc/corvellib/examples/testing/(CMakeLists\\.txt|smtp_device_test\\.c|smtp_settings_run\\.sh)"
  "share/doc/corvellib/examples/testing/(test_smtp_settings\\.py|smtp_settings\\.trace)")
set(want_tools "bin/entmlst" "share/man/man1/entmlst\\.1" "share/bash-completion/completions/entmlst")

file(REMOVE_RECURSE ${WORK_DIR})
foreach(comp corvellib devsim tools)
  set(prefix ${WORK_DIR}/${comp})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${comp} --prefix ${prefix})
  file(GLOB_RECURSE files RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
  set(unmatched ${want_${comp}})
  foreach(f IN LISTS files)
    set(hit FALSE)
    foreach(re IN LISTS want_${comp})
      if(f MATCHES "^${re}$")
        set(hit TRUE)
        list(REMOVE_ITEM unmatched "${re}")
      endif()
    endforeach()
    if(NOT hit)
      message(FATAL_ERROR "component ${comp} installs ${f}, which is not its file")
    endif()
  endforeach()
  if(unmatched)
    message(FATAL_ERROR "component ${comp} does not install: ${unmatched}\ninstalled: ${files}")
  endif()
endforeach()

# libdevsim names itself with its major version, so programs record that.
file(GLOB devsim_lib ${WORK_DIR}/devsim/${LIBDIR}/libdevsim.so.2.*)
file(STRINGS ${devsim_lib} soname REGEX "^libdevsim\\.so\\.2$")
if(NOT soname)
  message(FATAL_ERROR "${devsim_lib} has no soname libdevsim.so.2")
endif()

# The headers as installed, with only the prefix's include folder.
set(inc ${WORK_DIR}/devsim/include)
file(WRITE ${WORK_DIR}/headers.cpp "#include <devsim.h>\n#include <corvellib_devsim.h>\n"
  "int main() {\n  devsim::LogFilter f;\n  devsim_log_entry e{};\n  return static_cast<int>(f.newest + e.arg_count);\n}\n")
run(${CXX_COMPILER} -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I${inc} ${WORK_DIR}/headers.cpp)
file(WRITE ${WORK_DIR}/header.c "#include <corvellib_devsim.h>\nint main(void) { return devsim_last_error()[0]; }\n")
run(${C_COMPILER} -std=c99 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I${inc} ${WORK_DIR}/header.c)

# Every component into one prefix: find_package names an unknown component;
# the Python package finds this prefix's libdevsim and entmlst.
set(prefix ${WORK_DIR}/all)
foreach(comp corvellib devsim tools)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${comp} --prefix ${prefix})
endforeach()
file(WRITE ${WORK_DIR}/bogus/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\nfind_package(corvellib REQUIRED COMPONENTS devsim bogus)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK_DIR}/bogus -B ${WORK_DIR}/bogus/build -G ${GENERATOR}
                        -DCMAKE_PREFIX_PATH=${prefix}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT "${out}${err}" MATCHES "no component \"bogus\"")
  message(FATAL_ERROR "find_package with an unknown component (exit ${rc}):\n${out}${err}")
endif()

unset(ENV{LD_LIBRARY_PATH})
set(ENV{PYTHONPATH} ${prefix}/lib/python3/dist-packages)
set(ENV{HOME} ${WORK_DIR}/home)
run(/usr/bin/python3 -c "import corvellib_testkit as t, sys
d = t.Device(sys.argv[1])
assert t.LIBDEVSIM.startswith(sys.argv[2]) and t.ENTMLST.startswith(sys.argv[2]), (t.LIBDEVSIM, t.ENTMLST)
assert 'port' in d.get('smtp')" ${WORK_DIR}/python.db ${prefix}/)
