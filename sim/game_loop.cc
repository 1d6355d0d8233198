// The game loop of the simulated host: frames on the calling thread, which is the game thread.
// Each frame the game handles what its RCON clients sent, then the framework delivers the
// results of finished requests and runs every tick callback; once a second it runs the timer
// callbacks and then the automatic reload of plugins, as the framework's hook on the game
// state's timer does.
#include <algorithm>
#include <atomic>
#include <thread>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::int64_t> frame_interval_ms{16};

Clock::time_point& LastTimer() {
  static Clock::time_point last = Clock::now();
  return last;
}

}  // namespace

void Tick(float delta_seconds) {
  TickRcon();
  TickCommands(delta_seconds);
  const auto now = Clock::now();
  if (now - LastTimer() >= std::chrono::seconds(1)) {
    LastTimer() = now;
    TimerCommands();
    DetectPluginChanges();
  }
}

bool RunFramesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  const auto interval = std::chrono::milliseconds(frame_interval_ms.load());
  auto last = Clock::now();
  for (;;) {
    if (done()) return true;
    const auto now = Clock::now();
    if (now >= end) return false;
    std::this_thread::sleep_until(std::min(last + interval, end));
    const auto frame_start = Clock::now();
    Tick(std::chrono::duration<float>(frame_start - last).count());
    last = frame_start;
  }
}

void RunFrames(std::chrono::milliseconds duration) {
  (void)RunFramesUntil([] { return false; }, duration);
}

void SetFrameInterval(std::chrono::milliseconds interval) {
  frame_interval_ms = std::max<std::int64_t>(1, interval.count());
}

}  // namespace sim
