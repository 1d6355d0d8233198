# The plugin DLL as operators deploy it: MSVC (v143), C++20, x64 Release, the dynamic runtime
# (/MD), built against the framework's SDK. Only the plugin is built; the simulated host, the
# stand-in server and the tests are not part of this build.
set(ASAAPI_DIR "" CACHE PATH "The framework's SDK folder (holding AsaApi/Core/Public and AsaApi.lib)")
set(FMT_INCLUDE_DIR "" CACHE PATH "A folder holding fmt/format.h (any fmt version)")
if(NOT ASAAPI_DIR)
  message(FATAL_ERROR "Set ASAAPI_DIR to the framework's SDK folder")
endif()
if(NOT EXISTS ${ASAAPI_DIR}/AsaApi/Core/Private/Ark/Globals.h)
  message(FATAL_ERROR "${ASAAPI_DIR} lacks AsaApi/Core/Private/Ark/Globals.h, which the "
                      "framework's public headers include")
endif()
find_path(QUILLMARK_FMT_DIR fmt/format.h PATHS ${FMT_INCLUDE_DIR} ${ASAAPI_DIR}
          PATH_SUFFIXES include vcpkg_installed/x64-windows/include)
if(NOT QUILLMARK_FMT_DIR)
  message(FATAL_ERROR "Set FMT_INCLUDE_DIR to a folder holding fmt/format.h: the framework's "
                      "headers include it")
endif()
find_library(ASAAPI_LIB AsaApi PATHS ${ASAAPI_DIR} PATH_SUFFIXES lib AsaApi/lib x64/Release
             REQUIRED NO_DEFAULT_PATH)
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreadedDLL")

add_library(quillmark SHARED
  src/host/host_text.cc
  src/host/module_pin.cc
  src/host/wide_format_win.cc
  src/base/config.cc
  src/base/logger.cc
  src/audit/audit_settings.cc
  src/audit/audit_text.cc
  src/audit/decision.cc
  src/audit/position.cc
  src/audit/allow_list.cc
  src/audit/server_label.cc
  src/notify/delivery.cc
  src/notify/discord.cc
  src/notify/discord_body.cc
  src/plugin/command_handler.cc
  src/plugin/configuration.cc
  src/plugin/plugin.cc
  src/plugin/rcon_handler.cc
  src/plugin/reload.cc)
target_include_directories(quillmark PRIVATE ${CMAKE_SOURCE_DIR}/src)
# The framework's headers (with its spdlog 0.16, fmt 4.1 and nlohmann/json 3.10.2) are written
# for warning level 3: as external headers they are not judged by this build's /W4 /WX.
target_include_directories(quillmark SYSTEM PRIVATE
  ${ASAAPI_DIR}/AsaApi/Core/Public
  ${ASAAPI_DIR}/AsaApi/Core/Public/API/UE
  ${QUILLMARK_FMT_DIR})
target_compile_definitions(quillmark PRIVATE QUILLMARK_REAL_FRAMEWORK UNICODE _UNICODE NOMINMAX)
target_compile_options(quillmark PRIVATE /W4 /permissive- /utf-8 /EHsc /external:W0)
if(QUILLMARK_WERROR)
  target_compile_options(quillmark PRIVATE /WX)
endif()
target_link_libraries(quillmark PRIVATE ${ASAAPI_LIB} shell32)

include(Package)
quillmark_package(msvc
  "This DLL was built with MSVC (Visual Studio 2022, x64 Release, /MD) against the framework's\nSDK (AsaApi): it is the DLL to deploy on a server.")
include(CPack)
