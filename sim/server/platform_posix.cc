// The stand-in server on POSIX systems.
#include <unistd.h>

#include <filesystem>

#include "sim/server/platform.h"

namespace sim::server {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::string DefaultPluginPath() {
  std::error_code ignored;
  return (std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path() / "quillmark.so")
      .string();
}

bool IsLoadableFile(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool StartFramework(std::string& /*error*/) { return true; }

}  // namespace sim::server
