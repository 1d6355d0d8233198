// Helpers shared by the tests: host text from UTF-8, and a check that a scope gave back every
// block it took from the engine allocator.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace quillmark::testing
