// Why this exists: wmainCRTStartup, the entry point the linker gives a console program whose
// wmain takes wide arguments.
#include <stdlib.h>

#include "exe_start.h"

extern "C" {
__declspec(dllimport) int __cdecl _configure_wide_argv(int mode);
__declspec(dllimport) int __cdecl _initialize_wide_environment(void);
__declspec(dllimport) wchar_t*** __cdecl __p___wargv(void);
int wmain(int argc, wchar_t** argv);

int wmainCRTStartup(void) {
  _configure_wide_argv(1);
  _initialize_wide_environment();
  if (const int failed = StartProgram()) return failed;
  exit(wmain(*__p___argc(), *__p___wargv()));
}
}
