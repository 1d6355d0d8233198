// Why this exists: what the two program entry points (main and wmain) share.
#pragma once
#include "startup.h"

extern "C" {
__declspec(dllimport) void __cdecl _set_app_type(int type);
__declspec(dllimport) int* __cdecl __p___argc(void);
}

// Prepares a console program's module; 0 when its initializers succeeded.
inline int StartProgram() {
  __security_init_cookie();
  __quillmark_read_cpu_features();
  _set_app_type(1);  // a console application
  if (_initterm_e(__xi_a, __xi_z) != 0) return 255;
  _initterm(__xc_a, __xc_z);
  return 0;
}
