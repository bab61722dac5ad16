# Runs a command-line tool with --help, --version and an unknown option in an
# empty folder and fails unless: --help and --version end with status 0 and
# print on standard output (the version line "NAME VERSION"), the unknown
# option ends with status 2 and a usage line on standard error, and the
# folder is still empty afterwards.
#   cmake -DPROGRAM=... -DNAME=... -DVERSION=... -DFOLDER=... -P tool_options.cmake
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")

#       option|status|stream|expected text
foreach(case
    "--help|0|out|[Uu]sage: ${NAME}"
    "--version|0|out|^${NAME} ${VERSION}\n$"
    "--bogus|2|err|[Uu]sage: ${NAME}")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 option)
  list(GET case 1 expected_status)
  list(GET case 2 stream)
  list(GET case 3 pattern)
  execute_process(COMMAND "${PROGRAM}" ${option}
    WORKING_DIRECTORY "${FOLDER}"
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status
    TIMEOUT 30)
  if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "${NAME} ${option}: status ${status}, not ${expected_status}\n${out}${err}")
  endif()
  if(NOT "${${stream}}" MATCHES "${pattern}")
    message(FATAL_ERROR "${NAME} ${option}: standard ${stream}put \"${${stream}}\" does not match \"${pattern}\"")
  endif()
  file(GLOB written "${FOLDER}/*" "${FOLDER}/.*")
  if(written)
    message(FATAL_ERROR "${NAME} ${option} wrote ${written}")
  endif()
endforeach()
