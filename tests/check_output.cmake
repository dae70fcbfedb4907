# Runs a program and checks both its exit status (0) and its whole standard
# output, so that a program that prints the right text and then fails, or
# crashes, fails the test.
#   cmake -DPROGRAM=path "-DARGS=a;b" -DEXPECTED=text -P check_output.cmake
execute_process(COMMAND ${PROGRAM} ${ARGS} OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} ended with ${status}; its output:\n${output}")
endif()
if(NOT output STREQUAL EXPECTED)
  message(FATAL_ERROR "${PROGRAM} wrote:\n${output}\nexpected:\n${EXPECTED}")
endif()
