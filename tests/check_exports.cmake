# Checks that a built plug-in library exports exactly the entry points.
#   cmake -DLIBRARY=path -DNM=nm -P check_exports.cmake
set(expected ConfigureDisplayToastDisplayToastWInitializeParseCommandParseTagPublishInfoReceiveNotifyUninitialize)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
string(JOIN "" joined ${exported})
if(NOT joined STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}")
endif()
message(STATUS "exports: ${exported}")
