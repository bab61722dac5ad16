# Read by cpack for each generator: the tar.gz packs what a plain install lays
# out (the portable program folder), the .deb the install component `deb`,
# whose paths are below the root.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_QUILLON_BINARY_DIR};Quillon;deb;/")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
endif()
