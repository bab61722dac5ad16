# Warnings are errors everywhere in the project.
function(quillon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wnull-dereference -Wformat=2)
endfunction()
