# Windows x86-64 with the Microsoft C++ ABI and the dynamic runtime (/MD), as the framework and
# its plugins are built with Visual Studio 2022 (MSVC 14.39), made on Debian: clang-cl-19 and
# lld-link-19, Microsoft's open-source STL at the framework's version (MSVC_STL_DIR), mingw-w64's
# C runtime and Windows headers in UCRT mode, and the sysroot pieces of toolchain/msvc-abi, whose
# libraries the project builds before anything is linked (see toolchain/msvc-abi/README.md).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUILLMARK_MSVC_ABI ON)

get_filename_component(QUILLMARK_MSVC_ABI_DIR "${CMAKE_CURRENT_LIST_DIR}/../toolchain/msvc-abi"
                       ABSOLUTE)
# Microsoft's STL at tag vs-2022-17.9: a cache or environment variable, else the pinned copy
# beside the project.
if(NOT MSVC_STL_DIR)
  if(DEFINED ENV{MSVC_STL_DIR})
    set(MSVC_STL_DIR "$ENV{MSVC_STL_DIR}")
  elseif(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../../shared/third_party/msvc-stl/stl/inc")
    get_filename_component(MSVC_STL_DIR "${CMAKE_CURRENT_LIST_DIR}/../../shared/third_party/msvc-stl"
                           ABSOLUTE)
  endif()
endif()
# A relative path is taken from the project's folder.
if(MSVC_STL_DIR)
  get_filename_component(MSVC_STL_DIR "${MSVC_STL_DIR}" ABSOLUTE
                         BASE_DIR "${CMAKE_CURRENT_LIST_DIR}/..")
endif()
if(NOT EXISTS "${MSVC_STL_DIR}/stl/inc/yvals_core.h")
  message(FATAL_ERROR "MSVC_STL_DIR (\"${MSVC_STL_DIR}\") is not Microsoft's STL: set it to a "
                      "checkout of github.com/microsoft/STL at tag vs-2022-17.9")
endif()
set(MSVC_STL_DIR "${MSVC_STL_DIR}" CACHE PATH "Microsoft's STL, tag vs-2022-17.9")
# CMake's compiler checks read this file again in a project of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MSVC_STL_DIR)

set(CMAKE_C_COMPILER clang-cl-19)
set(CMAKE_CXX_COMPILER clang-cl-19)
set(CMAKE_LINKER lld-link-19)
set(CMAKE_AR llvm-lib-19)
set(CMAKE_RC_COMPILER llvm-rc-19)
set(CMAKE_MT llvm-mt-19)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)

# The headers in the order the compiler searches them after its own: the STL, the vcruntime
# stand-ins, the UCRT glue over mingw-w64's headers, mingw-w64's headers, letter-case shims.
# mingw-w64 in UCRT mode (_UCRT, __MSVCRT_VERSION__ 0xE00); the STL's vectorized algorithms
# need target attributes clang does not give them here, and only cost speed.
set(_quillmark_abi_flags
    "/X -fms-compatibility-version=19.39 -D_UCRT -D__MSVCRT_VERSION__=0xE00"
    "-D_USE_STD_VECTOR_ALGORITHMS=0 /FI${QUILLMARK_MSVC_ABI_DIR}/ucrt/prelude.h"
    "/imsvc${MSVC_STL_DIR}/stl/inc /imsvc${QUILLMARK_MSVC_ABI_DIR}/vcruntime"
    "/imsvc${QUILLMARK_MSVC_ABI_DIR}/ucrt /imsvc/usr/x86_64-w64-mingw32/include"
    "/imsvc${QUILLMARK_MSVC_ABI_DIR}/windows")
string(JOIN " " _quillmark_abi_flags ${_quillmark_abi_flags})
set(CMAKE_C_FLAGS_INIT "${_quillmark_abi_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_quillmark_abi_flags} /EHsc /permissive- /Zc:__cplusplus /utf-8")

# Import libraries and the start-up library, built into the build folder by the project.
set(QUILLMARK_MSVC_ABI_LIB_DIR "${CMAKE_BINARY_DIR}/msvc-abi/lib")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "/libpath:${QUILLMARK_MSVC_ABI_LIB_DIR} /manifest:no")
endforeach()
# Of Visual Studio's default system libraries, those the project's programs use.
set(CMAKE_C_STANDARD_LIBRARIES "kernel32.lib shell32.lib" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "kernel32.lib shell32.lib" CACHE STRING "" FORCE)
# The compiler checks compile only: nothing can be linked before the project built its libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Where the programs run: under Wine, with one prefix for the build.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
                                  ${CMAKE_BINARY_DIR}/wineprefix)
