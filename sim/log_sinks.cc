// The server's log outputs in the simulated host: real, thread-safe spdlog sinks that the
// server sets up before it loads plugins.
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <mutex>
#include <vector>

#include "sim/sim_control.h"

namespace sim {
namespace {

std::vector<spdlog::sink_ptr>& Sinks() {
  static auto* sinks =
      new std::vector<spdlog::sink_ptr>{std::make_shared<spdlog::sinks::stdout_sink_mt>()};
  return *sinks;
}

}  // namespace

void SetLogSinks(std::vector<spdlog::sink_ptr> sinks) { Sinks() = std::move(sinks); }

void UseConsoleLogSink() { Sinks() = {std::make_shared<spdlog::sinks::stdout_sink_mt>()}; }

void AddLogFile(const std::string& path) {
  Sinks().push_back(std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true));
}

}  // namespace sim

const std::vector<spdlog::sink_ptr>& GetLogSinks() { return sim::Sinks(); }
