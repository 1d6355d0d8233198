// The loader on Windows is the system's own: the simulated host only finds the module of an
// address and loads, looks into and frees libraries the way the framework does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {

void* ModuleOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

void* OpenLibrary(const std::string& path, std::string& error, int& error_code) {
  const HostText wide = DecodeUtf8(path);
  HMODULE module = LoadLibraryExW(
      wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
  if (module == nullptr) {
    error_code = static_cast<int>(GetLastError());
    error = "LoadLibraryExW failed";
  }
  return module;
}

void* FindExport(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool CloseLibrary(void* module) { return FreeLibrary(static_cast<HMODULE>(module)) != 0; }

// The system's own: exit runs the program's exit work and ends in ExitProcess, which tells every
// loaded library of the detach with a non-null reserved argument.
void EndProcess(int code) {
  std::fflush(nullptr);
  std::exit(code);
}

void KillProcess(int code) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  std::_Exit(code);  // TerminateProcess does not return for the calling process
}

int LastLoaderError() { return static_cast<int>(GetLastError()); }

}  // namespace sim
