// Start-up and shutdown through the loader's notifications: the handler is installed only after
// a complete start-up, a failed one logs exactly one error line, and detach takes it off.
#include <gtest/gtest.h>

#include "audit/command_handler.h"
#include "plugin/config.h"
#include "plugin/plugin.h"
#include "support/host_support.h"
#include "support/recording_sink.h"
#include "support/server_folder.h"

namespace {

using quillmark::testing::Host;
using quillmark::testing::RecordingSink;
using quillmark::testing::ServerFolder;

constexpr unsigned long kDetach = 0;
constexpr unsigned long kAttach = 1;

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({sink_});
    sim::StartWorld("TheIsland_WP");
    quillmark::PluginConfig() = nullptr;
  }
  void TearDown() override {
    DllMain(nullptr, kDetach, nullptr);
    sim::StopWorld();
    sim::UseConsoleLogSink();
    quillmark::PluginConfig() = nullptr;
  }
  static int Hooks() { return sim::HookCount(quillmark::kConsoleCommandHook); }
  std::string RunCommand(const std::string& command) {
    sim::PlayerSetup setup;
    setup.eos_id = "E1";
    (void)sim::RunConsoleCommand(sim::AddPlayer(setup), Host(command));
    const auto received = sim::TakeReceivedCommands();
    return received.empty() ? "(nothing)" : sim::Utf8(received[0].command);
  }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  ServerFolder folder_;
};

TEST_F(LifecycleTest, CompleteStartUpInstallsTheHandlerAndDetachRemovesIt) {
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  EXPECT_EQ(DllMain(nullptr, kAttach, nullptr), 1);
  EXPECT_EQ(Hooks(), 1);
  EXPECT_EQ(RunCommand("fly"), "");  // blocked by the plugin
  EXPECT_EQ(sink_->Messages().size(), 1u);
  EXPECT_EQ(DllMain(nullptr, kDetach, nullptr), 1);
  EXPECT_EQ(Hooks(), 0);
  EXPECT_EQ(RunCommand("fly"), "fly");  // the game alone again
  EXPECT_EQ(sink_->Messages().size(), 1u);
}

TEST_F(LifecycleTest, ThreadNotificationsDoNothing) {
  folder_.WriteConfig("{}");
  ASSERT_EQ(DllMain(nullptr, kAttach, nullptr), 1);
  EXPECT_EQ(DllMain(nullptr, 2, nullptr), 1);
  EXPECT_EQ(DllMain(nullptr, 3, nullptr), 1);
  EXPECT_EQ(Hooks(), 1);
  EXPECT_TRUE(sink_->Messages().empty());
}

struct FailedStart {
  const char* name;
  const char* config;  // null: no file
  const char* error;   // the one error line, or its beginning
};

class FailedStartUpTest : public LifecycleTest,
                          public ::testing::WithParamInterface<FailedStart> {};

TEST_P(FailedStartUpTest, LogsOneErrorLineAndInstallsNothing) {
  if (GetParam().config == nullptr) {
    folder_.RemoveConfig();
  } else {
    folder_.WriteConfig(GetParam().config);
  }
  EXPECT_EQ(DllMain(nullptr, kAttach, nullptr), 0);
  EXPECT_EQ(Hooks(), 0);
  const auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind(std::string("error: ") + GetParam().error, 0), 0u) << messages[0];
  EXPECT_EQ(RunCommand("fly"), "fly");  // commands reach the game untouched, and unlogged
  EXPECT_EQ(sink_->Messages().size(), 1u);
  // Detach after a failed start-up still answers TRUE.
  EXPECT_EQ(DllMain(nullptr, kDetach, nullptr), 1);
}

INSTANTIATE_TEST_SUITE_P(Configs, FailedStartUpTest,
                         ::testing::Values(FailedStart{"missing", nullptr,
                                                       "Can't open config.json"},
                                           FailedStart{"malformed", "{\"white-list\": [",
                                                       "[json.exception.parse_error.101]"},
                                           FailedStart{"commented", "// admins\n{}",
                                                       "[json.exception.parse_error.101]"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(LifecycleTest, MissingConfigLineIsExactlyTheErrorText) {
  folder_.RemoveConfig();
  ASSERT_EQ(DllMain(nullptr, kAttach, nullptr), 0);
  const auto lines = sink_->Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(14), " [ASA:Quillmark][error] Can't open config.json\r\n");
}

}  // namespace
