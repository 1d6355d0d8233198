// The server's log outputs in the simulated host: real, thread-safe spdlog sinks that the
// server sets up before it loads plugins, and the framework's own logger, "API", which writes
// into them with the same pattern as every plugin. When another face of the host owns the
// server's sinks (the framework stand-in, whose plugins log with the framework's own logging
// library), the server's outputs are made there and the framework's lines written through it.
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/basic_file_sink.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

// The console: each line's bytes to standard output, under the sink's own std::mutex, as the
// framework's console sink guards itself (the logging library's stdout sink shares a lock of the
// library's instead).
class ConsoleSink final : public spdlog::sinks::base_sink<std::mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t line;
    formatter_->format(msg, line);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  void flush_() override { std::fflush(stdout); }
};

std::mutex& SinksMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::vector<spdlog::sink_ptr>& Sinks() {
  static auto* sinks = new std::vector<spdlog::sink_ptr>{std::make_shared<ConsoleSink>()};
  return *sinks;
}

LogRoute& Route() {
  static auto* route = new LogRoute();
  return *route;
}

// The route, when another face owns the sinks.
LogRoute RouteIfAny() {
  std::lock_guard lock(SinksMutex());
  return Route();
}

}  // namespace

void SetLogRoute(LogRoute route) {
  std::lock_guard lock(SinksMutex());
  Route() = std::move(route);
}

void SetLogSinks(std::vector<spdlog::sink_ptr> sinks) {
  std::lock_guard lock(SinksMutex());
  Sinks() = std::move(sinks);
}

void UseNoLogSinks() {
  if (const LogRoute route = RouteIfAny(); route.use_nothing) return route.use_nothing();
  std::lock_guard lock(SinksMutex());
  Sinks().clear();
}

void UseConsoleLogSink() {
  if (const LogRoute route = RouteIfAny(); route.use_console) return route.use_console();
  std::lock_guard lock(SinksMutex());
  Sinks() = {std::make_shared<ConsoleSink>()};
}

void AddLogFile(const std::string& path) {
  if (const LogRoute route = RouteIfAny(); route.add_file) return route.add_file(path);
  std::lock_guard lock(SinksMutex());
  Sinks().push_back(std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true));
}

void FrameworkLog(int level, const std::string& text) {
  if (const LogRoute route = RouteIfAny(); route.write) return route.write(level, text);
  std::vector<spdlog::sink_ptr> sinks;
  {
    std::lock_guard lock(SinksMutex());
    sinks = Sinks();
  }
  spdlog::logger logger("API", sinks.begin(), sinks.end());
  // The formatter belongs to the sinks, which the plugins' loggers share: set the same one.
  logger.set_formatter(std::make_unique<spdlog::pattern_formatter>(
      "%D %R [%n][%l] %v", spdlog::pattern_time_type::local, "\r\n"));
  logger.flush_on(spdlog::level::info);
  logger.log(static_cast<spdlog::level::level_enum>(level), text);
}

}  // namespace sim

const std::vector<spdlog::sink_ptr>& GetLogSinks() {
  std::lock_guard lock(sim::SinksMutex());
  return sim::Sinks();
}
