# The plugin DLL as operators deploy it: C++20, x64 Release, the dynamic runtime (/MD), built
# against the framework's own headers. Two builds make it: Visual Studio 2022 (v143) against
# the framework's SDK (AsaApi.lib from ASAAPI_DIR), where only the plugin is built; and the build
# with the Microsoft ABI made on Debian (cmake/msvc-abi-clang.cmake), which links it against the
# framework stand-in's import library (sim/framework/), whose exports are the names the
# framework's headers declare.
include(FrameworkHeaders)
include(InvisibleCharacters)
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreadedDLL")
quillmark_invisible_characters()  # the table the tested plugin links, when that build made it

add_library(quillmark SHARED
  src/host/framework_pins.cc
  src/host/host_text.cc
  src/host/module_pin.cc
  src/host/journal_file_win.cc
  src/host/sha256_win.cc
  src/host/utc_clock.cc
  src/host/wide_format_win.cc
  src/base/config.cc
  src/base/logger.cc
  src/base/plugin_folder.cc
  src/base/url_mask.cc
  src/audit/audit_settings.cc
  src/audit/audit_text.cc
  src/audit/command_line.cc
  src/audit/decision.cc
  src/audit/plugin_commands.cc
  src/audit/position.cc
  src/audit/rule_place.cc
  src/audit/allow_list.cc
  src/audit/server_label.cc
  src/audit/server_password.cc
  src/notify/alerts.cc
  src/notify/delivery.cc
  src/notify/discord.cc
  src/notify/discord_body.cc
  src/notify/markdown.cc
  src/notify/notify_settings.cc
  src/journal/journal.cc
  src/journal/journal_record.cc
  src/journal/journal_settings.cc
  src/plugin/command_handler.cc
  src/plugin/configuration.cc
  src/plugin/permissions.cc
  src/plugin/plugin.cc
  src/plugin/rcon_handler.cc
  src/plugin/reload.cc)
target_include_directories(quillmark PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(quillmark PRIVATE /W4 /permissive- /utf-8 /EHsc)
if(QUILLMARK_WERROR)
  target_compile_options(quillmark PRIVATE /WX)
endif()
# Headers named as ${ASAAPI_DIR}/AsaApi/Core/Public and ${ASAAPI_DIR}/AsaApi/Core/Public/API/UE;
# after /permissive-, whose two-phase lookup the framework's headers cannot take under clang.
quillmark_framework_headers(quillmark)
# The plugin's definitions in full, the framework headers' among them: the real-framework check
# reads them from this line.
target_compile_definitions(quillmark PRIVATE QUILLMARK_REAL_FRAMEWORK UNICODE _UNICODE NOMINMAX)
set_target_properties(quillmark PROPERTIES PREFIX "")

if(QUILLMARK_MSVC_ABI)
  # The same sources as the plugin the tests run against the simulated host (src/), but for the
  # pins of the framework's binary: a file added there and not here fails here, not on a server.
  get_target_property(tested_policy quillmark_policy SOURCES)
  get_target_property(tested quillmark_rules SOURCES)
  get_target_property(tested_core quillmark_core SOURCES)
  get_target_property(deployed quillmark SOURCES)
  list(APPEND tested ${tested_policy} ${tested_core})
  list(TRANSFORM tested PREPEND src/)
  list(REMOVE_ITEM deployed src/host/framework_pins.cc)
  list(SORT tested)
  list(SORT deployed)
  if(NOT tested STREQUAL deployed)
    message(FATAL_ERROR "cmake/RealFramework.cmake builds the plugin to deploy from\n  ${deployed}\n"
                        "but src/CMakeLists.txt builds the tested plugin from\n  ${tested}")
  endif()
  target_link_libraries(quillmark PRIVATE AsaApi shell32 bcrypt quillmark_invisible)
else()
  find_library(ASAAPI_LIB AsaApi PATHS ${ASAAPI_DIR} PATH_SUFFIXES lib AsaApi/lib x64/Release
               REQUIRED NO_DEFAULT_PATH)
  target_link_libraries(quillmark PRIVATE ${ASAAPI_LIB} shell32 bcrypt quillmark_invisible)
  include(Package)
  quillmark_package(msvc
    "This DLL was built with MSVC (Visual Studio 2022, x64 Release, /MD) against the framework's\nSDK (AsaApi): it is the DLL to deploy on a server.")
  include(CPack)
endif()
