// The stand-in server on POSIX systems.
#include <unistd.h>

#include <filesystem>

#include "sim/server/platform.h"
#include "tools/program.h"

namespace sim::server {

std::string DefaultPluginPath() {
  return (quillmark::tools::ProgramFolder() / "quillmark.so").string();
}

bool IsLoadableFile(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool StartFramework(std::string& /*error*/) { return true; }

}  // namespace sim::server
