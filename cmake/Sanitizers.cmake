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
