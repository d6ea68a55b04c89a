# The README shows each example of this folder whole, as the file has it.
#   cmake -DREADME=README.md -DEXAMPLES=examples/testing -P readme_check.cmake
file(READ ${README} readme)
file(GLOB examples ${EXAMPLES}/*.c ${EXAMPLES}/*.sh ${EXAMPLES}/*.py)
foreach(example IN LISTS examples)
  file(READ ${example} text)
  string(FIND "${readme}" "${text}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${README} does not show ${example} as it is")
  endif()
endforeach()
