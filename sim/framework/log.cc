// The server's log sinks as the framework owns them: spdlog 0.16 sinks, which plugins built
// against the framework's headers log into, and the framework's own logger "API", which writes
// into the same sinks with the same pattern. The stand-in server asks for the console and for
// files through the world, which hands the request here (sim::face::SetLogFace). The framework's
// are a coloured console sink and a rotating file under its logs folder; here the console sink
// is plain and the files are those the server names.
#include <Logger/spdlog/sinks/base_sink.h>
#include <Logger/spdlog/sinks/file_sinks.h>

#include <mutex>
#include <vector>

#include "sim/framework/framework.h"

namespace {

// The console: each line's bytes as they are, written to the standard output handle, as the
// framework's console sink writes them to its console (the C runtime's text mode would turn the
// line's CR LF into CR CR LF, and a line break inside a message into CR LF).
class ConsoleSink final : public spdlog::sinks::base_sink<std::mutex> {
 protected:
  void _sink_it(const spdlog::details::log_msg& msg) override {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* data = msg.formatted.data();
    std::size_t left = msg.formatted.size();
    while (left > 0) {
      DWORD written = 0;
      if (!WriteFile(out, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
        return;
      }
      data += written;
      left -= written;
    }
  }
  void _flush() override {}
};

spdlog::sink_ptr Console() {
  static const auto console = std::make_shared<ConsoleSink>();
  return console;
}

std::mutex& SinksMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::vector<spdlog::sink_ptr>& Sinks() {
  static auto* sinks = new std::vector<spdlog::sink_ptr>{Console()};
  return *sinks;
}

}  // namespace

std::vector<spdlog::sink_ptr>& GetLogSinks() {
  std::lock_guard lock(SinksMutex());
  return Sinks();
}

namespace standin {

void LogFramework(spdlog::level::level_enum level, const std::string& text) {
  std::vector<spdlog::sink_ptr> sinks;
  {
    std::lock_guard lock(SinksMutex());
    sinks = Sinks();
  }
  spdlog::logger logger("API", sinks.begin(), sinks.end());
  logger.set_pattern("%D %R [%n][%l] %v");
  logger.flush_on(spdlog::level::info);
  logger.log(level, "{}", text);
}

// Hands the world's requests for the server's log here. Called once, when the framework starts.
void OwnTheServerLog() {
  sim::face::SetLogFace({
      [] {
        std::lock_guard lock(SinksMutex());
        Sinks().clear();
      },
      [] {
        std::lock_guard lock(SinksMutex());
        Sinks() = {Console()};
      },
      [](const std::string& path) {
        auto file = std::make_shared<spdlog::sinks::simple_file_sink_mt>(path, true);
        std::lock_guard lock(SinksMutex());
        Sinks().push_back(std::move(file));
      },
      [](int level, const std::string& text) {
        LogFramework(static_cast<spdlog::level::level_enum>(level), text);
      },
  });
}

}  // namespace standin
