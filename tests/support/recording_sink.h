// A log sink that keeps every formatted line and counts flushes, for tests that read what the
// plugin wrote into the server's log.
#pragma once

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::testing {

class RecordingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Each of the plugin's lines as its level and message, "info: <text>", without the time or
  // the line end.
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // The messages from the `first`th on, and how many there are, for tests that write many.
  std::vector<std::string> MessagesFrom(std::size_t first) {
    std::lock_guard lock(mutex_);
    return {messages_.begin() + static_cast<std::ptrdiff_t>(std::min(first, messages_.size())),
            messages_.end()};
  }
  std::size_t MessageCount() {
    std::lock_guard lock(mutex_);
    return messages_.size();
  }
  // The same for the lines of the framework's own logger ("API").
  std::vector<std::string> FrameworkMessages() {
    std::lock_guard lock(mutex_);
    return framework_;
  }
  int Flushes() {
    std::lock_guard lock(mutex_);
    return flushes_;
  }
  // Lines flushed so far: a line counts once a flush followed it.
  int FlushedLines() {
    std::lock_guard lock(mutex_);
    return flushed_lines_;
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    lines_.emplace_back(formatted.data(), formatted.size());
    const auto level = spdlog::level::to_string_view(message.level);
    const std::string_view logger(message.logger_name.data(), message.logger_name.size());
    (logger == "API" ? framework_ : messages_)
        .push_back(std::string(level.data(), level.size()) + ": " +
                   std::string(message.payload.data(), message.payload.size()));
  }
  void flush_() override {
    ++flushes_;
    flushed_lines_ = static_cast<int>(lines_.size());
  }

 private:
  std::vector<std::string> lines_;
  std::vector<std::string> messages_;
  std::vector<std::string> framework_;
  int flushes_ = 0;
  int flushed_lines_ = 0;
};

}  // namespace quillmark::testing
