# Runs PROGRAM with the arguments ARG1 [ARG2 [ARG3]], writes its standard
# output to ACTUAL and fails unless that file equals EXPECTED byte for byte,
# the exit status is STATUS (0 when not given) and, when ERROR_MATCH is
# given, the standard error output is one line matching that expression.
#   cmake -DPROGRAM=... -DARG1=... -DEXPECTED=... -DACTUAL=... -P expect_output.cmake
set(arguments)
foreach(n 1 2 3)
  if(DEFINED ARG${n})
    list(APPEND arguments "${ARG${n}}")
  endif()
endforeach()
if(NOT DEFINED STATUS)
  set(STATUS 0)
endif()

execute_process(COMMAND "${PROGRAM}" ${arguments}
  OUTPUT_FILE "${ACTUAL}"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL STATUS)
  message(FATAL_ERROR "${PROGRAM} ended with status ${status}, not ${STATUS}: ${errors}")
endif()
string(STRIP "${errors}" errors)
if(DEFINED ERROR_MATCH AND (errors MATCHES "\n" OR NOT errors MATCHES "${ERROR_MATCH}"))
  message(FATAL_ERROR "${PROGRAM} wrote \"${errors}\" to standard error, not one line matching \"${ERROR_MATCH}\"")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${ACTUAL}" "${EXPECTED}"
  RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "${ACTUAL} differs from ${EXPECTED}; compare them with diff")
endif()
