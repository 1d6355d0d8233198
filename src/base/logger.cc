// The plugin logger. The real framework bundles an early spdlog whose formatter belongs to the
// logger and whose line end is fixed when it is compiled; current spdlog lets the line end be
// given with the formatter. That difference is settled here and nowhere else.
#include "base/logger.h"

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

}  // namespace quillmark
