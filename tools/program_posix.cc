// The operator's program on POSIX systems.
#include "tools/program.h"

namespace quillmark::tools {

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::filesystem::path ProgramFolder() {
  std::error_code ignored;
  return std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
}

void PrepareStandardStreams() {}

}  // namespace quillmark::tools
