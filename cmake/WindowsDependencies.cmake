# Third-party libraries for the Windows build made here (clang-cl with the Microsoft ABI). It may
# not search the build machine's /usr/include, so the distribution's header-only libraries are
# staged in a folder of links; GoogleTest is built from its sources; the host library carries
# spdlog's compiled part, as the distribution's shared spdlog does on Linux.
set(QUILLMARK_STAGING ${CMAKE_BINARY_DIR}/staging/include)
file(MAKE_DIRECTORY ${QUILLMARK_STAGING})
foreach(dir nlohmann spdlog fmt)
  if(NOT EXISTS ${QUILLMARK_STAGING}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${QUILLMARK_STAGING}/${dir} SYMBOLIC)
  endif()
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING})
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
# spdlog's declarations everywhere; its compiled part lives in the host library (sim/).
add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_COMPILE_DEFINITIONS "SPDLOG_COMPILED_LIB;SPDLOG_SHARED_LIB"
  INTERFACE_LINK_LIBRARIES fmt::fmt)

find_package(Threads REQUIRED)
if(QUILLMARK_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)  # /MD, as everything else
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # mingw-w64's pthread.h is found, but its library is MinGW's: Windows' own threads.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gmock ALIAS gmock)
  endif()
  include(GoogleTest)
endif()

