# The house in layers: every #include "..." of sim/ and tools/ against one
# table. A file may include its own folder, a folder of its rank or a lower
# one; never a higher one, and never a folder that includes it back.
#   cmake -DSOURCE_DIR=<top of the tree> -P layering_test.cmake
#
# Each row is "RANK FOLDER", lowest first. A file belongs to the longest
# folder that holds it; a quoted include is looked up in the including
# file's folder, then in each folder of the table, its own tree's first.
cmake_minimum_required(VERSION 3.25)

set(layers
  "1 include"
  "1 contract"
  "1 registry"
  "2 sim/store"
  "3 sim/device"
  "4 sim/api"
  "5 tools/base"
  "6 tools/document"
  "7 tools/device"
  "8 tools/cli"
  "8 tools/serve"
  "9 tools/commands"
  "10 tools"
)
set(scanned sim tools)

set(folders)
foreach(row IN LISTS layers)
  string(REGEX REPLACE "^([0-9]+) (.*)$" "\\1" rank "${row}")
  string(REGEX REPLACE "^([0-9]+) (.*)$" "\\2" folder "${row}")
  list(APPEND folders "${folder}")
  set(rank_${folder} ${rank})
endforeach()

# The table's folder that holds path (relative to SOURCE_DIR), or "".
function(layer_of path out)
  set(best "")
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" n)
    string(LENGTH "${best}" best_n)
    if(path MATCHES "^${folder}/" AND n GREATER best_n)
      set(best "${folder}")
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

set(problems)
set(edges)
foreach(top IN LISTS scanned)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${top}/*.h ${SOURCE_DIR}/${top}/*.cpp
       ${SOURCE_DIR}/${top}/*.c)
  foreach(source IN LISTS sources)
    layer_of("${source}" from)
    if(from STREQUAL "")
      list(APPEND problems "${source}: in no folder of the table")
      continue()
    endif()
    get_filename_component(own_dir "${source}" DIRECTORY)
    set(own_tree ${folders})
    list(FILTER own_tree INCLUDE REGEX "^${top}(/|$)")
    file(READ ${SOURCE_DIR}/${source} text)
    set(text "\n${text}")
    string(REGEX MATCHALL "\n[ \t]*#[ \t]*include[ \t]*\"[^\"\n]+\"" includes "${text}")
    foreach(include IN LISTS includes)
      string(FIND "${text}" "${include}" at)
      string(SUBSTRING "${text}" 0 ${at} before)
      string(REGEX MATCHALL "\n" newlines "${before}\n")
      list(LENGTH newlines line)
      string(REGEX REPLACE ".*\"([^\"]+)\"$" "\\1" name "${include}")
      set(target "")
      foreach(dir IN LISTS own_dir own_tree folders)
        if(EXISTS ${SOURCE_DIR}/${dir}/${name})
          cmake_path(SET target NORMALIZE "${dir}/${name}")
          break()
        endif()
      endforeach()
      if(target STREQUAL "")
        continue() # a header of the build tree or the system
      endif()
      layer_of("${target}" to)
      if(to STREQUAL from)
        continue()
      endif()
      if(rank_${to} GREATER rank_${from})
        list(APPEND problems "${source}:${line}: includes ${name}: ${from} (${rank_${from}}) must not include ${to} (${rank_${to}}), a higher layer")
      endif()
      if(NOT DEFINED edge_${from}__${to})
        set(edge_${from}__${to} "${source}:${line}")
        list(APPEND edges "${from}__${to}")
      endif()
    endforeach()
  endforeach()
endforeach()

foreach(edge IN LISTS edges)
  string(REPLACE "__" ";" pair "${edge}")
  list(GET pair 0 a)
  list(GET pair 1 b)
  if(DEFINED edge_${b}__${a} AND a STRLESS b)
    list(APPEND problems "${a} and ${b} include each other: ${edge_${a}__${b}} and ${edge_${b}__${a}}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n" text)
  list(LENGTH problems n)
  message(NOTICE "${text}")
  message(FATAL_ERROR "${n} problems with the layers")
endif()
list(LENGTH edges n)
message(STATUS "layers: ${n} folder edges, none upward, none both ways")
