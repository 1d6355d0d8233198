// Why this exists: atexit and the destructors of a DLL's globals must run when that DLL is
// unloaded (FreeLibrary), not when the process ends; Visual Studio's start-up code keeps a table
// per DLL for that. A program registers with the UCRT's process-wide table, which exit() runs.
#include "startup.h"

extern "C" {
bool __quillmark_module_is_dll = false;
_onexit_table_t __quillmark_module_exit_table = {};

int __cdecl atexit(StartupVoidFn fn) {
  if (__quillmark_module_is_dll) {
    return _register_onexit_function(&__quillmark_module_exit_table,
                                     reinterpret_cast<OnExitFn>(fn));
  }
  return _crt_atexit(fn);
}

OnExitFn __cdecl _onexit(OnExitFn fn) {
  const int failed = __quillmark_module_is_dll
                         ? _register_onexit_function(&__quillmark_module_exit_table, fn)
                         : _crt_atexit(reinterpret_cast<StartupVoidFn>(fn));
  return failed == 0 ? fn : nullptr;
}
}
