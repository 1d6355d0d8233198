// What the fuzz targets share: a check that, when it fails, says what was expected and aborts,
// so that libFuzzer keeps the input that made it fail.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillmark::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what,
                              std::string_view detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %.*s\n", file, line, what,
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}

}  // namespace quillmark::fuzz

// Checks `condition`; on failure prints it, with `detail` (any text), and aborts.
#define FUZZ_CHECK(condition, detail)                                                  \
  do {                                                                                 \
    if (!(condition)) ::quillmark::fuzz::Fail(__FILE__, __LINE__, #condition, detail); \
  } while (false)
