// What the stand-in server does differently per platform: loading and unloading the plugin
// library the way the framework does, where it looks for it by default, and whether its input
// is a terminal. One implementation per platform.
#pragma once

#include <string>

namespace sim::server {

enum class LoadResult {
  kLoaded,
  kStartFailed,  // the loader ran its start-up, which failed; the library is not loaded
  kNotLoadable,  // no such file, or not a library the loader can load
};

class PluginLibrary {
 public:
  // Loads the library at `path`; its start-up runs during the load. Otherwise `error` says why.
  LoadResult Load(const std::string& path, std::string& error);
  // Unloads it; its shutdown runs during the unload. Nothing when none is loaded.
  void Unload();
  ~PluginLibrary() { Unload(); }

 private:
  void* handle_ = nullptr;
};

// The plugin library built beside the running program.
std::string DefaultPluginPath();

// True when standard input is a terminal (a prompt is then shown).
bool InputIsTerminal();

}  // namespace sim::server
