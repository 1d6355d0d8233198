// Why this exists: mingw-w64's C runtime and Windows headers, in UCRT mode, serve a compile for
// the MSVC target here; this file is force-included into every translation unit to settle what
// those headers assume of GCC and to add the UCRT's few macros the STL uses that they lack.
#pragma once

// Their inline bodies assume GCC and an 80-bit long double (x87 assembly): declarations only.
#define __CRT__NO_INLINE 1
// Their <setjmp.h> renames _setjmp to a two-argument function that clashes with <intrin.h>.
#define USE_NO_MINGW_SETJMP_TWO_ARGS 1
#include <_mingw.h>

// Without __GNUC__ they define __attribute__ away, which clang's own headers need; and they spell
// some attributes as a __declspec after the declarator, which clang refuses: the GNU spelling.
#undef __attribute__
#undef __MINGW_NOTHROW
#define __MINGW_NOTHROW __attribute__((__nothrow__))
#undef __MINGW_ATTRIB_NORETURN
#define __MINGW_ATTRIB_NORETURN __attribute__((__noreturn__))
#undef __MINGW_ATTRIB_DEPRECATED
#define __MINGW_ATTRIB_DEPRECATED __attribute__((__deprecated__))
#undef __MINGW_ATTRIB_MALLOC
#define __MINGW_ATTRIB_MALLOC __attribute__((__malloc__))

// Their <strsafe.h> turns sprintf, swprintf, strcpy and the like into compile errors; the
// Windows SDK's only deprecates them.
#ifndef STRSAFE_NO_DEPRECATE
#define STRSAFE_NO_DEPRECATE
#endif

#ifndef _ACRTIMP
#define _ACRTIMP __declspec(dllimport)
#endif
#ifndef _ACRTIMP_ALT
#define _ACRTIMP_ALT _ACRTIMP
#endif
#ifndef __FILEW__
#define __QUILLMARK_WIDEN_(s) L##s
#define __QUILLMARK_WIDEN(s) __QUILLMARK_WIDEN_(s)
#define __FILEW__ __QUILLMARK_WIDEN(__FILE__)
#endif
#ifndef _CRT_SECURE_INVALID_PARAMETER
#define _CRT_SECURE_INVALID_PARAMETER(expr) ::_invalid_parameter_noinfo_noreturn()
#endif

// The UCRT declares mbstate_t (_Mbstatet) in <corecrt.h>; mingw-w64 only in <wchar.h>.
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) __declspec(noreturn) void __cdecl _invalid_parameter_noinfo_noreturn(void);
__declspec(dllimport) void __cdecl _invalid_parameter_noinfo(void);
__declspec(dllimport) __declspec(noreturn) void __cdecl _invoke_watson(const wchar_t* expression,
                                                                       const wchar_t* function,
                                                                       const wchar_t* file,
                                                                       unsigned int line,
                                                                       unsigned __int64 reserved);
#ifdef __cplusplus
}
#endif
