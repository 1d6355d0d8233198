// Running a program to completion and collecting what it wrote, for the end-to-end tests that
// drive the stand-in server. One implementation per platform.
#pragma once

#include <string>
#include <vector>

namespace quillmark::testing {

struct ProcessResult {
  int exit_code = -1;
  std::string out;    // standard output
  std::string err;    // standard error
  long peak_kib = 0;  // its peak resident memory, where the platform tells (0 otherwise)
};

// Runs `program` with `args` (each passed as one argument), standard input from `input_file`
// when it is not empty, and waits for it to end.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input_file = {});

// Whether Wine failed to start the program at all, which it now and then does: it ended with a
// non-zero status having written nothing, or only Wine's own "wine client error". No program
// the tests run ends that way by itself, so a run under Wine that did is made once more.
inline bool WineDidNotStart(const ProcessResult& result) {
  return result.exit_code != 0 && result.out.empty() &&
         (result.err.empty() || result.err.rfind("wine client error", 0) == 0);
}

// Sets an environment variable of this process, which programs it runs inherit; an empty value
// removes it.
void SetEnvironment(const std::string& name, const std::string& value);

}  // namespace quillmark::testing
