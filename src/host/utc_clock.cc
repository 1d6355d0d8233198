// The wall clock in UTC milliseconds: the system's on Windows; elsewhere the host's
// Windows-shaped clock, which the simulated host lets a test move.
#if defined(_WIN32)
#include <windows.h>
#else
#include "host/host.h"
#endif

#include "host/journal_file.h"

namespace host {

std::int64_t UtcMilliseconds() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
  return (ticks - kTicksFrom1601To1970) / 10000;
}

}  // namespace host
