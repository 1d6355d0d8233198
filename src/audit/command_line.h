// The server's command line, read as Windows splits it into arguments (CommandLineToArgvW), so
// that quoting and backslashes follow Windows' own rules: where the server label and the
// server's administrator password are given.
#pragma once

#include <functional>

#include "host/host.h"

namespace quillmark {

// Calls `each` with every argument of the server's command line in order, the program's own name
// first, until `each` returns true. The argument lives until `each` returns. Game thread.
void ForEachCommandLineArgument(const std::function<bool(const HostChar*)>& each);

}  // namespace quillmark
