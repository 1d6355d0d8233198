# Third-party libraries for the MinGW cross-build. MinGW never searches the build machine's
# /usr/include, so the distribution's header-only libraries are staged in a folder of links;
# GoogleTest is built from its sources; the host library carries spdlog's compiled part, as the
# distribution's shared spdlog does on Linux.
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
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
# spdlog's declarations everywhere; its compiled part lives in the host library (sim/).
add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${QUILLMARK_STAGING}
  INTERFACE_COMPILE_DEFINITIONS "SPDLOG_COMPILED_LIB;SPDLOG_SHARED_LIB"
  INTERFACE_LINK_LIBRARIES fmt::fmt)

find_package(Threads REQUIRED)
if(QUILLMARK_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gmock ALIAS gmock)
  endif()
  include(GoogleTest)
endif()

# Everything links the MinGW runtime statically: the DLLs then import only system DLLs and the
# host's, as a plugin built for the real framework does.
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh
                                  ${CMAKE_BINARY_DIR}/wineprefix)
