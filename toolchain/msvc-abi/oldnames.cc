// Why this exists: clang names oldnames.lib in every object, as MSVC does. Visual Studio's
// maps the POSIX spellings of UCRT functions to the UCRT's own (read to _read, and so on); the
// ones used here (GoogleTest's output capture among them) are those below.
#include <io.h>
#include <stdio.h>

extern "C" {
int __cdecl close(int handle) { return _close(handle); }
int __cdecl creat(const char* path, int mode) { return _creat(path, mode); }
int __cdecl dup(int handle) { return _dup(handle); }
int __cdecl dup2(int from, int to) { return _dup2(from, to); }
FILE* __cdecl fdopen(int handle, const char* mode) { return _fdopen(handle, mode); }
int __cdecl read(int handle, void* buffer, unsigned int count) {
  return _read(handle, buffer, count);
}
int __cdecl write(int handle, const void* buffer, unsigned int count) {
  return _write(handle, buffer, count);
}
}
