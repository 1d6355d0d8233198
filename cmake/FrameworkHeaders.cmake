# The framework's public headers (AsaApi), which the plugin to deploy and the framework stand-in
# are built against: ASAAPI_DIR, a cache or environment variable naming the framework's source
# folder (holding AsaApi/Core/Public and AsaApi/Core/Private/Ark/Globals.h), else the pinned
# copy beside the project.
include_guard(GLOBAL)
if(NOT ASAAPI_DIR AND DEFINED ENV{ASAAPI_DIR})
  set(ASAAPI_DIR "$ENV{ASAAPI_DIR}")
endif()
if(NOT ASAAPI_DIR AND EXISTS "${CMAKE_SOURCE_DIR}/../shared/third_party/asaapi/AsaApi")
  get_filename_component(ASAAPI_DIR "${CMAKE_SOURCE_DIR}/../shared/third_party/asaapi" ABSOLUTE)
endif()
if(ASAAPI_DIR)
  get_filename_component(ASAAPI_DIR "${ASAAPI_DIR}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
endif()
set(ASAAPI_DIR "${ASAAPI_DIR}" CACHE PATH
    "The framework's source folder (holding AsaApi/Core/Public)")
if(NOT ASAAPI_DIR)
  message(FATAL_ERROR "Set ASAAPI_DIR to the framework's source folder "
                      "(github.com/ArkServerApi/AsaApi)")
endif()
if(NOT EXISTS ${ASAAPI_DIR}/AsaApi/Core/Private/Ark/Globals.h)
  message(FATAL_ERROR "${ASAAPI_DIR} lacks AsaApi/Core/Private/Ark/Globals.h, which the "
                      "framework's public headers include")
endif()

# The framework's headers include fmt/format.h from the framework's package manager; any fmt
# satisfies them, since the fmt that its spdlog bundles is included first under the same guard.
set(FMT_INCLUDE_DIR "" CACHE PATH "A folder holding fmt/format.h (any fmt version)")
find_path(QUILLMARK_FMT_DIR fmt/format.h PATHS ${FMT_INCLUDE_DIR} ${QUILLMARK_STAGING} ${ASAAPI_DIR}
          PATH_SUFFIXES include vcpkg_installed/x64-windows/include NO_DEFAULT_PATH)
if(NOT QUILLMARK_FMT_DIR)
  message(FATAL_ERROR "Set FMT_INCLUDE_DIR to a folder holding fmt/format.h: the framework's "
                      "headers include it")
endif()

# The framework's commit, for the note that goes with the DLL: asked of git when ASAAPI_DIR is a
# checkout, else the pinned copy's.
set(QUILLMARK_FRAMEWORK_COMMIT "" CACHE STRING "The framework's commit the headers come from")
if(NOT QUILLMARK_FRAMEWORK_COMMIT)
  execute_process(COMMAND git -C ${ASAAPI_DIR} rev-parse HEAD OUTPUT_VARIABLE commit
                  RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed AND EXISTS ${ASAAPI_DIR}/../README.md)
    file(READ ${ASAAPI_DIR}/../README.md notes)
    string(REGEX MATCH "asaapi/` \\| [^|]* \\| commit ([0-9a-f]+)" found "${notes}")
    set(commit ${CMAKE_MATCH_1})
  endif()
  if(NOT commit)
    set(commit "unknown")
  endif()
  set(QUILLMARK_FRAMEWORK_COMMIT ${commit} CACHE STRING "" FORCE)
endif()

# Compiles `target` against the framework's headers. They are written for MSVC at warning level
# 3 and judged by neither this build's warnings nor its checks: external headers. Under clang
# they need the shims of toolchain/msvc-abi/framework and MSVC's habit of not parsing template
# bodies it never instantiates.
function(quillmark_framework_headers target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_include_directories(${target} BEFORE PRIVATE
                               ${CMAKE_SOURCE_DIR}/toolchain/msvc-abi/framework)
    target_compile_options(${target} PRIVATE /Zc:twoPhase-
                                             -Wno-delayed-template-parsing-in-cxx20)
  else()
    target_compile_options(${target} PRIVATE /external:W0)
  endif()
  target_include_directories(${target} SYSTEM PRIVATE
    ${ASAAPI_DIR}/AsaApi/Core/Public
    ${ASAAPI_DIR}/AsaApi/Core/Public/API/UE
    ${QUILLMARK_FMT_DIR})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX)
endfunction()
