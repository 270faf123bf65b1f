# Warnings as errors for the project's own targets only; dependencies keep their own flags.
function(velmar_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
