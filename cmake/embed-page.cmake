# embed-page.cmake - serve's page files as a C++ table, so that the page
# needs nothing from disk or the network:
#   cmake -DOUT=page_files.cpp -DDIR=tools/serve/page -P embed-page.cmake
set(rows "")
foreach(entry "/|index.html|text/html; charset=utf-8" "/page.css|page.css|text/css; charset=utf-8"
              "/page.js|page.js|text/javascript; charset=utf-8")
  # The types hold ';': taken apart by a pattern, not as a list.
  string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|(.*)$" parts "${entry}")
  set(path "${CMAKE_MATCH_1}")
  set(file "${CMAKE_MATCH_2}")
  set(type "${CMAKE_MATCH_3}")
  file(READ ${DIR}/${file} body)
  if(body MATCHES "\\)page\"")
    message(FATAL_ERROR "${file} holds the raw string's end, )page\"")
  endif()
  string(APPEND rows "    {\"${path}\", \"${type}\", R\"page(${body})page\"},\n")
endforeach()
file(WRITE ${OUT}.new "// Made by cmake/embed-page.cmake from tools/serve/page: edit those.\n"
  "#include \"serve/page_files.h\"\n\nnamespace entmlst {\nnamespace {\n"
  "constexpr PageFile kPageFiles[] = {\n${rows}};\n}\n\n"
  "std::span<const PageFile> pageFiles() { return kPageFiles; }\n\n} // namespace entmlst\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
