// The stand-in server on POSIX systems: the plugin through the dynamic loader.
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "sim/server/platform.h"

namespace sim::server {

// A library's failed start-up is no loader error here: it stays loaded and inert.
LoadResult PluginLibrary::Load(const std::string& path, std::string& error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
    return LoadResult::kNotLoadable;
  }
  return LoadResult::kLoaded;
}

void PluginLibrary::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

std::string DefaultPluginPath() {
  std::error_code ignored;
  return (std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path() /
          "libquillmark.so")
      .string();
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

}  // namespace sim::server
