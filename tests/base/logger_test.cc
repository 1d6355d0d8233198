// The plugin logger as the server's log shows it: the line format with its CR LF, the flush
// after every line, the host's sinks shared and not the library's registry.
#include "base/logger.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <regex>

#include "sim/sim_control.h"
#include "support/recording_sink.h"

namespace {

using quillmark::testing::RecordingSink;

std::string LocalStamp(std::time_t when) {
  const std::tm& local = *std::localtime(&when);
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year % 100, local.tm_hour, local.tm_min);
  return text;
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({first_, second_});
    quillmark::CreatePluginLogger();
  }
  void TearDown() override { sim::UseConsoleLogSink(); }

  std::shared_ptr<RecordingSink> first_ = std::make_shared<RecordingSink>();
  std::shared_ptr<RecordingSink> second_ = std::make_shared<RecordingSink>();
};

TEST_F(LoggerTest, LineHasDateTimeNameLevelTextAndCrLf) {
  const std::time_t before = std::time(nullptr);
  quillmark::LogInfo("Player {x} (id) executed give");
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(first_->Lines().size(), 1u);
  const std::string line = first_->Lines()[0];
  const std::string stamp = line.substr(0, 14);
  EXPECT_TRUE(stamp == LocalStamp(before) || stamp == LocalStamp(after)) << line;
  EXPECT_EQ(line.substr(14), " [ASA:Quillmark][info] Player {x} (id) executed give\r\n");
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d .*\r\n)")));
  EXPECT_EQ(second_->Lines(), first_->Lines());
}

TEST_F(LoggerTest, ErrorLevelAndBracesWrittenAsTheyAre) {
  quillmark::LogError("Can't open config.json {}");
  ASSERT_EQ(first_->Lines().size(), 1u);
  EXPECT_EQ(first_->Lines()[0].substr(14), " [ASA:Quillmark][error] Can't open config.json {}\r\n");
}

TEST_F(LoggerTest, EveryLineIsFlushedAtOnce) {
  for (int i = 1; i <= 3; ++i) {
    quillmark::LogInfo("line");
    EXPECT_EQ(first_->FlushedLines(), i);
    EXPECT_EQ(second_->FlushedLines(), i);
  }
}

TEST_F(LoggerTest, SinksAreACopyTakenAtCreation) {
  auto later = std::make_shared<RecordingSink>();
  sim::SetLogSinks({later});
  quillmark::LogInfo("after the host changed its list");
  EXPECT_TRUE(later->Lines().empty());
  EXPECT_EQ(first_->Lines().size(), 1u);
}

TEST_F(LoggerTest, NotEnteredInTheLibrarysRegistry) {
  EXPECT_EQ(spdlog::get(quillmark::kPluginName), nullptr);
}

TEST(LoggerWithoutSinksTest, EmptySinkListWritesNowhereAndDoesNotFail) {
  sim::SetLogSinks({});
  quillmark::CreatePluginLogger();
  EXPECT_NO_THROW(quillmark::LogInfo("nowhere"));
  EXPECT_NO_THROW(quillmark::LogError("nowhere"));
  sim::UseConsoleLogSink();
}

}  // namespace
