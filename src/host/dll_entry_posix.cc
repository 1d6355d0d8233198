// Where the loader has no DllMain, the library's load and unload deliver the same notifications.
// A failed start-up leaves the library loaded and inert: it has installed nothing.
#include "plugin/plugin.h"

namespace {

__attribute__((constructor)) void OnLoad() { (void)DllMain(nullptr, 1, nullptr); }
__attribute__((destructor)) void OnUnload() { (void)DllMain(nullptr, 0, nullptr); }

}  // namespace
