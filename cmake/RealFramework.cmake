# The plugin DLL as operators deploy it: MSVC (v143), C++20, x64 Release, the dynamic runtime
# (/MD), built against the framework's SDK. Only the plugin is built; the simulated host, the
# stand-in server and the tests are not part of this build.
set(ASAAPI_DIR "" CACHE PATH "The framework's SDK folder (holding AsaApi/Core/Public and AsaApi.lib)")
if(NOT ASAAPI_DIR)
  message(FATAL_ERROR "Set ASAAPI_DIR to the framework's SDK folder")
endif()
find_library(ASAAPI_LIB AsaApi PATHS ${ASAAPI_DIR} PATH_SUFFIXES lib AsaApi/lib x64/Release
             REQUIRED NO_DEFAULT_PATH)
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreadedDLL")

add_library(quillmark SHARED
  src/audit/audit_text.cc
  src/audit/command_handler.cc
  src/audit/host_text.cc
  src/audit/permissions.cc
  src/audit/server_label.cc
  src/plugin/config.cc
  src/plugin/logger.cc
  src/plugin/plugin.cc
  src/notify/discord.cc
  src/host/wide_format_win.cc)
target_include_directories(quillmark PRIVATE
  ${CMAKE_SOURCE_DIR}/src
  ${ASAAPI_DIR}/AsaApi/Core/Public
  ${ASAAPI_DIR}/AsaApi/Core/Public/API/UE)
# The framework's headers carry its spdlog 0.16, fmt 4.1 and nlohmann/json 3.10.2.
target_compile_definitions(quillmark PRIVATE QUILLMARK_REAL_FRAMEWORK UNICODE _UNICODE
                                             NOMINMAX WIN32_LEAN_AND_MEAN)
target_compile_options(quillmark PRIVATE /W4 /permissive- /utf-8 /EHsc)
if(QUILLMARK_WERROR)
  target_compile_options(quillmark PRIVATE /WX)
endif()
target_link_libraries(quillmark PRIVATE ${ASAAPI_LIB} shell32)
