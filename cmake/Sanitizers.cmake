# Sanitizers for every target of the build: AddressSanitizer with UndefinedBehaviorSanitizer.
if(QUILLMARK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer, for where threads meet: the request service, its callbacks and the logger.
option(QUILLMARK_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(QUILLMARK_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Fuzzing with libFuzzer (clang only): every target is instrumented for coverage, and the fuzz
# targets link libFuzzer's driver.
option(QUILLMARK_FUZZ "Build the fuzz targets (clang, with the sanitizers above)" OFF)
if(QUILLMARK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang and its libFuzzer (see the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
