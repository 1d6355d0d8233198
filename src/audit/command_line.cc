// Reading the server's command line.
#include "audit/command_line.h"

#include <memory>

namespace quillmark {
namespace {

struct LocalFreeDeleter {
  void operator()(HostChar** argv) const { LocalFree(argv); }
};
using ArgvBlock = std::unique_ptr<HostChar*[], LocalFreeDeleter>;

}  // namespace

void ForEachCommandLineArgument(const std::function<bool(const HostChar*)>& each) {
  int count = 0;
  const ArgvBlock argv(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!argv) return;
  for (int i = 0; i < count; ++i) {
    if (each(argv[i])) return;
  }
}

}  // namespace quillmark
