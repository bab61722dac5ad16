# Run by CPack after it has installed into its staging folder: in the tar.gz
# the service files name /opt/quillon-<version>, where the README suggests
# unpacking it for a service, not the staging folder.
set(folder "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_QUILLON_FOLDER}")
if(NOT EXISTS "${folder}/share/systemd")
  return()
endif()
set(FOLDER "/opt/${CPACK_QUILLON_FOLDER}")
include("${CPACK_QUILLON_SERVICE_VARIABLES}")
configure_file("${CPACK_QUILLON_SERVICE_DIR}/quillon.service.in" "${folder}/share/systemd/quillon.service" @ONLY)
configure_file("${CPACK_QUILLON_SERVICE_DIR}/quillon.logrotate.in" "${folder}/share/logrotate/quillon" @ONLY)
