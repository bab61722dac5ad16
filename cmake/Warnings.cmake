# Warnings are errors everywhere in the project.
function(quillon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wnull-dereference -Wformat=2)
  # GCC's flow analysis under the sanitizers reports uninitialised values
  # inside <regex> and std::function that are not there; the warning stays
  # on in the normal build.
  if(QUILLON_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
endfunction()

