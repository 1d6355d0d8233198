// The wall clock the plugin reads: on POSIX systems the host provides Windows'
// GetSystemTimePreciseAsFileTime, the real clock moved by what a test sets, so that day
// boundaries are tested without waiting for them. On Windows the plugin reads the system's
// own clock, which SetWallClock leaves as it is.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "sim/sim_control.h"

namespace sim {
namespace {

std::atomic<std::int64_t> offset_ms{0};

std::int64_t RealMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void SetWallClock(std::int64_t utc_ms) {
  offset_ms = utc_ms == 0 ? 0 : utc_ms - RealMilliseconds();
}

}  // namespace sim

#if !defined(_WIN32)
void GetSystemTimePreciseAsFileTime(FILETIME* time) {
  constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
  const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::int64_t ticks = now / 100 + sim::offset_ms.load() * 10000 + kTicksFrom1601To1970;
  time->dwLowDateTime = static_cast<std::uint32_t>(ticks);
  time->dwHighDateTime = static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks) >> 32);
}
#endif
