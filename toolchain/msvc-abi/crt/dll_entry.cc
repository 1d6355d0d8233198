// Why this exists: the entry point the linker gives a DLL, _DllMainCRTStartup, prepares the
// module (cookie, processor features, exit table, global constructors) before the module's own
// DllMain sees the attach, and runs the module's exit functions and destructors after DllMain
// sees the detach.
#include "startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

// A DLL without a DllMain of its own gets this one.
extern "C" BOOL WINAPI __quillmark_default_DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#pragma comment(linker, "/alternatename:DllMain=__quillmark_default_DllMain")

namespace {

void FinishModule() {
  _execute_onexit_table(&__quillmark_module_exit_table);  // atexit, then global destructors
  _initterm(__xp_a, __xp_z);
  _initterm(__xt_a, __xt_z);
  __std_type_info_destroy_list(&__type_info_root_node);
}

}  // namespace

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    __security_init_cookie();
    __quillmark_read_cpu_features();
    __quillmark_module_is_dll = true;
    if (_initialize_onexit_table(&__quillmark_module_exit_table) != 0) return FALSE;
    if (_initterm_e(__xi_a, __xi_z) != 0) return FALSE;
    _initterm(__xc_a, __xc_z);
    if (!DllMain(module, reason, reserved)) {
      FinishModule();
      return FALSE;
    }
    return TRUE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    const BOOL result = DllMain(module, reason, reserved);
    FinishModule();
    return result;
  }
  return DllMain(module, reason, reserved);
}
