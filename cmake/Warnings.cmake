# Warnings for the project's own targets: quillmark_warnings(target). clang-cl takes the same
# warnings as clang, but reads -Wall as "every warning" (MSVC's /Wall): it gets /W4 instead.
function(quillmark_warnings target)
  if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
    target_compile_options(${target} PRIVATE /W4 -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align
                                             -Wformat=2)
    if(QUILLMARK_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wformat=2)
  if(QUILLMARK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
