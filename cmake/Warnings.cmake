# Warnings for the project's own targets: quillmark_warnings(target).
function(quillmark_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wformat=2)
  if(QUILLMARK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
