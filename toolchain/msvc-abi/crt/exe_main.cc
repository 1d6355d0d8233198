// Why this exists: mainCRTStartup, the entry point the linker gives a console program whose
// main takes narrow arguments; exit() then runs atexit functions and global destructors.
#include <stdlib.h>

#include "exe_start.h"

extern "C" {
__declspec(dllimport) int __cdecl _configure_narrow_argv(int mode);
__declspec(dllimport) int __cdecl _initialize_narrow_environment(void);
__declspec(dllimport) char*** __cdecl __p___argv(void);
int main(int argc, char** argv);

int mainCRTStartup(void) {
  _configure_narrow_argv(1);  // arguments as typed, not wildcard-expanded
  _initialize_narrow_environment();
  if (const int failed = StartProgram()) return failed;
  exit(main(*__p___argc(), *__p___argv()));
}
}
