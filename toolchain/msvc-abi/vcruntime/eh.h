// Why this exists: mingw-w64's <eh.h> is written for its own runtime; the STL needs the handler
// types and functions as the UCRT and vcruntime140.dll export them for a /MD build.
#pragma once
#include <vcruntime.h>

#ifndef __cplusplus
#error eh.h is for C++ only
#endif

extern "C" {
typedef void(__cdecl* terminate_handler)(void);
typedef void(__cdecl* terminate_function)(void);
typedef void(__cdecl* unexpected_handler)(void);
typedef void(__cdecl* unexpected_function)(void);
struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

// ucrtbase.dll
__declspec(dllimport) __declspec(noreturn) void __cdecl terminate(void) throw();
__declspec(dllimport) terminate_handler __cdecl set_terminate(terminate_handler handler) throw();
__declspec(dllimport) terminate_handler __cdecl _get_terminate(void);
__declspec(dllimport) void __cdecl unexpected(void) noexcept(false);
__declspec(dllimport) unexpected_handler __cdecl set_unexpected(unexpected_handler handler) throw();
__declspec(dllimport) unexpected_handler __cdecl _get_unexpected(void);
// vcruntime140.dll
_VCRTIMP _se_translator_function __cdecl _set_se_translator(_se_translator_function translator);
_VCRTIMP int __cdecl __uncaught_exceptions(void);
_VCRTIMP bool __cdecl __uncaught_exception(void);
}
