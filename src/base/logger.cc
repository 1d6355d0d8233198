// The plugin logger. The real framework bundles an early spdlog whose formatter belongs to the
// logger and whose line end is fixed when it is compiled; current spdlog lets the line end be
// given with the formatter. That difference is settled here and nowhere else.
#include "base/logger.h"

#include <mutex>
#include <vector>

#include "host/host.h"
#include "host/libraries.h"

namespace quillmark {
namespace {

constexpr char kPattern[] = "%D %R [%n][%l] %v";

void SetPatternWithCrLf(spdlog::logger& logger) {
#if defined(SPDLOG_VER_MAJOR) && SPDLOG_VER_MAJOR >= 1
  // Here the formatter belongs to each sink, so this also sets the pattern of the host's sinks.
  logger.set_formatter(std::make_unique<spdlog::pattern_formatter>(
      kPattern, spdlog::pattern_time_type::local, "\r\n"));
#else
  // spdlog 0.x: the line end is SPDLOG_EOL, "\r\n" on Windows where this version is used.
  logger.set_pattern(kPattern, spdlog::pattern_time_type::local);
#endif
}

// The lock of a sink that guards itself with a std::mutex (the logging library's base_sink, as
// every sink of the framework), reached the way the sink's own classes reach it; null for a
// sink of another kind.
struct SinkLock : spdlog::sinks::base_sink<std::mutex> {
  static std::mutex* Of(spdlog::sinks::sink& sink) {
    auto* guarded = dynamic_cast<spdlog::sinks::base_sink<std::mutex>*>(&sink);
    if (guarded == nullptr) return nullptr;
#if defined(SPDLOG_VER_MAJOR) && SPDLOG_VER_MAJOR >= 1
    return &(guarded->*(&SinkLock::mutex_));
#else
    return &(guarded->*(&SinkLock::_mutex));
#endif
  }
};

}  // namespace

std::shared_ptr<spdlog::logger>& PluginLogger() {
  static std::shared_ptr<spdlog::logger> holder;
  return holder;
}

void CreatePluginLogger() {
  auto& holder = PluginLogger();
  const std::vector<spdlog::sink_ptr>& sinks = GetLogSinks();
  holder = std::make_shared<spdlog::logger>(kPluginName, sinks.begin(), sinks.end());
  SetPatternWithCrLf(*holder);
  holder->flush_on(spdlog::level::info);
}

void LogInfo(const std::string& text) {
  if (const auto& logger = PluginLogger()) logger->info(text);
}

void LogWarning(const std::string& text) {
  if (const auto& logger = PluginLogger()) logger->warn(text);
}

void LogError(const std::string& text) {
  if (const auto& logger = PluginLogger()) logger->error(text);
}

void LogFailure(std::string_view what, std::string_view why) noexcept {
  try {
    std::string line;
    line.reserve(what.size() + why.size() + 2);
    line.append(what).append(": ").append(why);
    LogError(line);
  } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the error line
  }
}

std::size_t LogErrorWithoutWaiting(const std::string& text) noexcept {
  const auto& logger = PluginLogger();
  if (!logger) return 0;
  const std::vector<spdlog::sink_ptr>& sinks = logger->sinks();
  try {
    std::vector<spdlog::sink_ptr> ready;
    for (const spdlog::sink_ptr& sink : sinks) {
      std::mutex* lock = sink ? SinkLock::Of(*sink) : nullptr;
      // Free now, it stays free: at the process's end no other thread is left to take it.
      if (lock != nullptr && lock->try_lock()) {
        lock->unlock();
        ready.push_back(sink);
      }
    }
    if (!ready.empty()) {
      spdlog::logger once(kPluginName, ready.begin(), ready.end());
      SetPatternWithCrLf(once);
      once.flush_on(spdlog::level::info);
      once.error(text);
    }
    return sinks.size() - ready.size();
  } catch (...) {
    return sinks.size();
  }
}

}  // namespace quillmark
