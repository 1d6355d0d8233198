// Helpers shared by the tests: host text from UTF-8, a check that a scope gave back every block
// it took from the engine allocator, and what the C runtime's number formatting does.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/host.h"
#include "sim/sim_control.h"

namespace quillmark::testing {

inline HostText Host(const std::string& utf8) { return AsaApi::Tools::Utf8Decode(utf8); }
inline FString HostString(const std::string& utf8) { return FString(Host(utf8).c_str()); }

// Notes the allocator's live blocks when made; Leaked() tells how many more are live now.
class LiveBlocks {
 public:
  LiveBlocks() : start_(sim::GetAllocatorStats().live_blocks) {}
  [[nodiscard]] std::int64_t Leaked() const {
    return sim::GetAllocatorStats().live_blocks - start_;
  }

 private:
  std::int64_t start_;
};

// Whether the runtime's printf rounds an exact decimal tie to even ("%.0f" of 2.5 is "2"), as
// glibc and Windows' UCRT since Windows 10 2004 do. Wine 8's ucrtbase.dll, like Windows before
// it, rounds such a tie away from zero.
inline bool PrintfRoundsTiesToEven() {
  char text[8] = {};
  std::snprintf(text, sizeof text, "%.0f", 2.5);
  return text[0] == '2';
}

}  // namespace quillmark::testing
