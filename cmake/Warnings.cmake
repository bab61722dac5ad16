# The project's warnings. They are errors only with QUILLON_WERROR=ON, which
# the project's own scripts and CI turn on; a packager's build with another
# compiler or build type is never stopped by a new warning.
option(QUILLON_WERROR "Treat warnings as errors" OFF)

function(quillon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
    -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wnull-dereference -Wformat=2)
  if(QUILLON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC's flow analysis under the sanitizers reports uninitialised values
  # inside <regex> and std::function that are not there; the warning stays
  # on in the normal build.
  if(QUILLON_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
endfunction()
