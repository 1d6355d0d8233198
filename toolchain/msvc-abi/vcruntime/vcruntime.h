// Why this exists: Microsoft's STL includes <vcruntime.h>, which ships only with Visual Studio.
// This stand-in gives the macros and base types the STL and the UCRT-style headers rely on, for
// the x64 ABI and the dynamic runtime (/MD); nothing here changes a layout.
#pragma once
#define _VCRUNTIME_H
#define _VCRT_COMPILER_PREPROCESSOR 1

#include <sal.h>
#include <vadefs.h>

#ifndef _CRT_PACKING
#define _CRT_PACKING 8
#endif
#ifndef _HAS_EXCEPTIONS
#define _HAS_EXCEPTIONS 1
#endif

#define _CRT_STRINGIZE_(x) #x
#define _CRT_STRINGIZE(x) _CRT_STRINGIZE_(x)
#define _CRT_WIDE_(s) L##s
#define _CRT_WIDE(s) _CRT_WIDE_(s)
#define _CRT_CONCATENATE_(a, b) a##b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__

#ifdef __cplusplus
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING)) extern "C" {
#define _CRT_END_C_HEADER \
  }                       \
  __pragma(pack(pop))
#else
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING))
#define _CRT_END_C_HEADER __pragma(pack(pop))
#endif

// vcruntime140.dll's functions are imported in a /MD build.
#ifndef _VCRTIMP
#if defined(_DLL) && !defined(_VCRT_BUILD)
#define _VCRTIMP __declspec(dllimport)
#else
#define _VCRTIMP
#endif
#endif
#ifndef _CRTIMP
#define _CRTIMP _VCRTIMP
#endif

#define __CRTDECL __cdecl
#define __CLR_OR_THIS_CALL
#define __CLRCALL_OR_CDECL __cdecl
#define __CLRCALL_PURE_OR_CDECL __cdecl
#define __CLRCALL_PURE_OR_STDCALL __stdcall
#define _VCRT_NOALIAS __declspec(noalias)
#define _VCRT_RESTRICT __declspec(restrict)
#define _VCRT_ALLOCATOR __declspec(allocator)
#define _VCRT_ALIGN(x) __declspec(align(x))
#define _CRT_ALIGN(x) __declspec(align(x))
#define _CRT_GUARDOVERFLOW
#define _CRT_HYBRIDPATCHABLE
#define _CRT_DEPRECATE_TEXT(text) __declspec(deprecated(text))
#define _CRT_INSECURE_DEPRECATE(replacement)
#define _CRT_INSECURE_DEPRECATE_MEMORY(replacement)
#define _CRT_UNUSED(x) (void)x
#define _MSVC_CONSTEXPR
#define __crt_countof(array) (sizeof(array) / sizeof(array[0]))

#ifndef _CONST_RETURN
#ifdef __cplusplus
#define _CONST_RETURN const
#define _CRT_CONST_CORRECT_OVERLOADS
#else
#define _CONST_RETURN
#endif
#endif

#ifndef _HAS_NODISCARD
#define _HAS_NODISCARD 1
#endif
#if defined(__cplusplus) && _HAS_NODISCARD
#define _NODISCARD [[nodiscard]]
#else
#define _NODISCARD
#endif

#ifdef _MSVC_LANG
#define _STL_LANG _MSVC_LANG
#elif defined(__cplusplus)
#define _STL_LANG __cplusplus
#else
#define _STL_LANG 0L
#endif
#ifndef _HAS_CXX17
#define _HAS_CXX17 (_STL_LANG > 201402L)
#endif
#ifndef _HAS_CXX20
#define _HAS_CXX20 (_HAS_CXX17 && _STL_LANG > 201703L)
#endif
#ifndef _HAS_CXX23
#define _HAS_CXX23 (_HAS_CXX20 && _STL_LANG > 202002L)
#endif
#ifndef _CRT_HAS_CXX17
#define _CRT_HAS_CXX17 _HAS_CXX17
#endif

#pragma pack(push, _CRT_PACKING)
#ifdef __cplusplus
extern "C" {
#endif

#ifndef _SIZE_T_DEFINED
#define _SIZE_T_DEFINED
typedef unsigned __int64 size_t;
#endif
#ifndef _PTRDIFF_T_DEFINED
#define _PTRDIFF_T_DEFINED
typedef __int64 ptrdiff_t;
#endif
#ifndef _INTPTR_T_DEFINED
#define _INTPTR_T_DEFINED
typedef __int64 intptr_t;
#endif
#ifndef _UINTPTR_T_DEFINED
#define _UINTPTR_T_DEFINED
typedef unsigned __int64 uintptr_t;
#endif
#ifndef _VA_LIST_DEFINED
#define _VA_LIST_DEFINED
typedef char* va_list;
#endif

#ifdef __cplusplus
typedef bool __vcrt_bool;
#else
typedef _Bool __vcrt_bool;
#endif

// Buffer-overrun checks (/GS): the cookie and its functions live in each module's start-up code.
extern uintptr_t __security_cookie;
void __cdecl __security_init_cookie(void);
void __cdecl __security_check_cookie(uintptr_t cookie);
__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t cookie);

#ifdef __cplusplus
}  // extern "C"
namespace std {
typedef decltype(__nullptr) nullptr_t;
}
using ::std::nullptr_t;
#endif
#pragma pack(pop)
