# cmake -DSOURCE_DIR=... -DFOLDER=... -DFILES="a;b" -P copy_if_missing.cmake
# Copies each of FILES from SOURCE_DIR into FOLDER when FOLDER has no file of
# that name; an existing one, edited or not, is left alone.
foreach(name IN LISTS FILES)
  if(NOT EXISTS "${FOLDER}/${name}" AND NOT IS_SYMLINK "${FOLDER}/${name}")
    file(COPY "${SOURCE_DIR}/${name}" DESTINATION "${FOLDER}")
    message(STATUS "Starter file: ${FOLDER}/${name}")
  endif()
endforeach()
