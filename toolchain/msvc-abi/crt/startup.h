// Why this exists: Visual Studio links a static part of its C runtime (msvcrt.lib) into every
// /MD module: entry points, initializer tables, the /GS cookie, TLS, thread-safe statics, the
// allocation functions. This library is that part, written from the documented behaviour; this
// header holds what its files share.
#pragma once
#include <windows.h>

// The DLLs that the rest of a /MD module's runtime comes from.
#pragma comment(lib, "vcruntime")
#pragma comment(lib, "ucrt")
#pragma comment(lib, "kernel32")

extern "C" {
using StartupVoidFn = void(__cdecl*)(void);
using StartupIntFn = int(__cdecl*)(void);
using OnExitFn = int(__cdecl*)(void);
struct _onexit_table_t {
  StartupVoidFn* _first;
  StartupVoidFn* _last;
  StartupVoidFn* _end;
};

// ucrtbase.dll (api-ms-win-crt-runtime)
__declspec(dllimport) void __cdecl _initterm(StartupVoidFn* first, StartupVoidFn* last);
__declspec(dllimport) int __cdecl _initterm_e(StartupIntFn* first, StartupIntFn* last);
__declspec(dllimport) int __cdecl _initialize_onexit_table(_onexit_table_t* table);
__declspec(dllimport) int __cdecl _register_onexit_function(_onexit_table_t* table, OnExitFn fn);
__declspec(dllimport) int __cdecl _execute_onexit_table(_onexit_table_t* table);
__declspec(dllimport) int __cdecl _crt_atexit(StartupVoidFn fn);
__declspec(dllimport) int __cdecl _callnewh(size_t size);

// vcruntime140.dll: the module's cache of undecorated type names (an SLIST_HEADER).
struct __declspec(align(16)) __type_info_node {
  unsigned __int64 header[2];
};
__declspec(dllimport) void __cdecl __std_type_info_destroy_list(__type_info_node* root);

// The initializer tables, bounded by the markers in sections.cc: C initializers that may fail
// (XI), C++ constructors of globals (XC), and the terminators run at the end (XP, XT).
extern StartupIntFn __xi_a[], __xi_z[];
extern StartupVoidFn __xc_a[], __xc_z[], __xp_a[], __xp_z[], __xt_a[], __xt_z[];

// atexit.cc: a DLL runs its own exit functions when it is unloaded; a program uses the UCRT's.
extern bool __quillmark_module_is_dll;
extern _onexit_table_t __quillmark_module_exit_table;

void __cdecl __security_init_cookie(void);         // security_cookie.cc
void __cdecl __quillmark_read_cpu_features(void);  // cpu_features.cc
extern __type_info_node __type_info_root_node;     // type_info.cc
}
