# Installs the build into a throw-away prefix and checks the service files
# there: the systemd unit names the installed program folder and passes
# `systemd-analyze verify` without a word (where that command exists), and the
# logrotate example names the folder's logs.
#   cmake -DBINARY_DIR=... -DPREFIX=... -DVERSION=... -P service_files.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${PREFIX}"
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed: ${status}")
endif()
set(folder "${PREFIX}/quillon-${VERSION}")
file(READ "${folder}/share/systemd/quillon.service" unit)
file(READ "${folder}/share/logrotate/quillon" logrotate)
foreach(expected "ExecStart=${folder}/quillon --headless\n" "WorkingDirectory=${folder}\n" "ReadWritePaths=${folder}\n"
                 "SupplementaryGroups=dialout" "Restart=on-failure" "After=time-sync.target")
  string(FIND "${unit}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the unit lacks \"${expected}\":\n${unit}")
  endif()
endforeach()
string(FIND "${logrotate}" "${folder}/[0-3][0-9][01][0-9]" at)
if(at LESS 0)
  message(FATAL_ERROR "the logrotate example does not name the logs:\n${logrotate}")
endif()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message("SKIPPED: no systemd-analyze here")
  return()
endif()
execute_process(COMMAND "${SYSTEMD_ANALYZE}" verify --man=no "${folder}/share/systemd/quillon.service"
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify: ${status}\n${out}${err}")
endif()
