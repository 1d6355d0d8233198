// Start-up and shutdown through the framework's entry points: the handler is installed only
// after a complete start-up, a failed one says why and waits for a reload over RCON,
// Plugin_Unload takes it off, and start and stop alternate in one library. The loader's
// notifications start nothing.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "base/config.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/plugin.h"
#include "support/host_support.h"
#include "support/recording_sink.h"
#include "support/server_folder.h"
#include "tools/webhook_receiver.h"

namespace {

using quillmark::testing::Host;
using quillmark::testing::LiveBlocks;
using quillmark::testing::RecordingSink;
using quillmark::testing::ServerFolder;

constexpr unsigned long kDetach = 0;
constexpr unsigned long kAttach = 1;

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({sink_});
    sim::StartWorld("TheIsland_WP");
    sim::PlayerSetup setup;
    setup.eos_id = "E1";
    player_ = sim::AddPlayer(setup);
  }
  void TearDown() override {
    sim::SetHookFaults({});
    Plugin_Unload();
    sim::StopWorld();
    sim::UseConsoleLogSink();
  }
  static int Hooks() { return sim::HookCount(quillmark::kConsoleCommandHook); }
  std::string RunCommand(const std::string& command) {
    (void)sim::RunConsoleCommand(player_, Host(command));
    const auto received = sim::TakeReceivedCommands();
    return received.empty() ? "(nothing)" : sim::Utf8(received[0].command);
  }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  ServerFolder folder_;
  AShooterPlayerController* player_ = nullptr;
};

TEST_F(LifecycleTest, StartInstallsTheHandlerAndStopRemovesItAgainAndAgain) {
  const LiveBlocks blocks;
  for (const char* white_listed : {"give", "fly"}) {
    folder_.WriteConfig(std::string(R"({"white-list": [")") + white_listed + "\"]}");
    Plugin_Init();
    EXPECT_EQ(Hooks(), 1);
    // Each start reads the file afresh.
    EXPECT_EQ(RunCommand("fly"), std::string(white_listed) == "fly" ? "fly" : "");
    EXPECT_EQ(sink_->Messages().size(), 1u);
    Plugin_Unload();
    EXPECT_EQ(Hooks(), 0);
    EXPECT_EQ(RunCommand("fly"), "fly");  // the game alone again, and nothing logged
    EXPECT_EQ(sink_->Messages().size(), 1u);
    sink_ = std::make_shared<RecordingSink>();
    sim::SetLogSinks({sink_});
  }
  EXPECT_EQ(blocks.Leaked(), 0);  // the kept server label went with the stop
}

TEST_F(LifecycleTest, LoaderNotificationsStartNothing) {
  folder_.WriteConfig("{}");
  for (const unsigned long reason : {kAttach, 2UL, 3UL, kDetach}) {
    EXPECT_EQ(DllMain(nullptr, reason, nullptr), 1);
  }
  EXPECT_EQ(Hooks(), 0);
  EXPECT_TRUE(sink_->Messages().empty());
}

TEST_F(LifecycleTest, DetachWithoutUnloadTakesTheHandlerOff) {
  folder_.WriteConfig("{}");
  Plugin_Init();
  ASSERT_EQ(Hooks(), 1);
  EXPECT_EQ(DllMain(nullptr, kDetach, nullptr), 1);
  EXPECT_EQ(Hooks(), 0);
}

// The host's hook table keeps the framework's rules: a second installation is not refused and
// leads the detour to itself, a failed one leaves a null entry, a failed removal leaves the
// detour and its entry where they were.
TEST_F(LifecycleTest, TheHookTableKeepsTheFrameworksRules) {
  using quillmark::CommandHandler;
  const std::string name = quillmark::kConsoleCommandHook;
  ConsoleCommandFn first = nullptr;
  ConsoleCommandFn again = nullptr;
  ASSERT_TRUE(host::InstallHook(name, &CommandHandler, &first));
  ASSERT_TRUE(host::InstallHook(name, &CommandHandler, &again));
  EXPECT_EQ(again, &CommandHandler);
  EXPECT_EQ(Hooks(), 2);
  EXPECT_TRUE(host::RemoveHook(name, &CommandHandler));
  EXPECT_TRUE(host::RemoveHook(name, &CommandHandler));
  EXPECT_FALSE(host::RemoveHook(name, &CommandHandler));
  sim::SetHookFaults({.install = true});
  ConsoleCommandFn failed = &CommandHandler;
  EXPECT_FALSE(host::InstallHook(name, &CommandHandler, &failed));
  EXPECT_EQ(failed, nullptr);
  sim::SetHookFaults({});
  ASSERT_TRUE(host::InstallHook(name, &CommandHandler, &first));
  const ConsoleCommandFn saved = first;
  sim::SetHookFaults({.remove = true});
  EXPECT_FALSE(host::RemoveHook(name, &CommandHandler));
  EXPECT_EQ(first, saved);
  EXPECT_EQ(Hooks(), 1);
  sim::SetHookFaults({});
  EXPECT_TRUE(host::RemoveHook(name, &CommandHandler));
  EXPECT_EQ(first, nullptr);
}

// The framework's hooking transaction fails: nothing is policed, the line and the reload's
// answer say so, and a reload once it works again starts policing.
TEST_F(LifecycleTest, AFailedInstallSaysNothingIsPolicedUntilAReloadInstallsIt) {
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  sim::SetHookFaults({.install = true});
  Plugin_Init();
  EXPECT_FALSE(quillmark::Policing());
  EXPECT_EQ(Hooks(), 0);
  EXPECT_EQ(sink_->Messages().at(0),
            "error: Console commands reach the game unpoliced and unaudited: the hook on the "
            "game's console command could not be installed; send quillmark.reload over RCON to try "
            "again");
  EXPECT_EQ(RunCommand("fly"), "fly");
  EXPECT_EQ(sim::RunRconCommand(Host("quillmark.reload")),
            std::vector<HostText>{Host("config.json loaded, but console commands are still not "
                                       "policed: the hook on the game's console command could not "
                                       "be installed")});
  sim::SetHookFaults({});
  EXPECT_EQ(sim::RunRconCommand(Host("quillmark.reload"))
                .at(0)
                .rfind(Host("config.json loaded, and console commands are policed from now on"), 0),
            0u);
  EXPECT_TRUE(quillmark::Policing());
  EXPECT_EQ(Hooks(), 1);
  EXPECT_EQ(RunCommand("fly"), "");
}

// The framework cannot take the handler off at unload: it stays, handing commands to the game
// untouched through the entry it saved, and the next start does not install it a second time
// (which would lead it to itself).
TEST_F(LifecycleTest, AHandlerLeftInstalledPassesCommandsOnAndIsNotInstalledTwice) {
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  Plugin_Init();
  sim::SetHookFaults({.remove = true});
  Plugin_Unload();
  EXPECT_EQ(Hooks(), 1);
  EXPECT_NE(quillmark::SavedConsoleCommand, nullptr);
  EXPECT_EQ(sink_->Messages().back(),
            "error: The framework could not take this plugin's hooks off: they stay, handing every "
            "command to the game untouched, and the library stays loaded until the server stops");
  const auto framework = sink_->FrameworkMessages();
  ASSERT_FALSE(framework.empty());
  EXPECT_NE(framework.back().find("DisableHook transaction failed"), std::string::npos);
  const std::size_t lines = sink_->MessageCount();
  EXPECT_EQ(RunCommand("fly"), "fly");  // not blocked, not audited
  EXPECT_EQ(sink_->MessageCount(), lines);

  sim::SetHookFaults({});
  Plugin_Init();
  EXPECT_EQ(Hooks(), 1);
  EXPECT_EQ(RunCommand("fly"), "");  // policed again, by the one handler
  Plugin_Unload();
  EXPECT_EQ(Hooks(), 0);
}

struct FailedStart {
  const char* name;
  const char* config;  // null: no file
  const char* error;   // the one error line, or its beginning
};

class FailedStartUpTest : public LifecycleTest,
                          public ::testing::WithParamInterface<FailedStart> {};

// Nothing is policed until config.json loads: the error line, a line that says so right after
// it and then once a minute, and a reload over RCON that puts the mended file to work.
TEST_P(FailedStartUpTest, SaysSoOnceAMinuteUntilAReloadOverRconStartsPolicing) {
  if (GetParam().config == nullptr) {
    folder_.RemoveConfig();
  } else {
    folder_.WriteConfig(GetParam().config);
  }
  Plugin_Init();
  EXPECT_EQ(Hooks(), 0);
  const std::string notice = "error: Console commands reach the game unpoliced and unaudited";
  auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind(std::string("error: ") + GetParam().error, 0), 0u) << messages[0];
  EXPECT_EQ(messages[1].rfind(notice, 0), 0u) << messages[1];
  EXPECT_EQ(RunCommand("fly"), "fly");  // commands reach the game untouched, and unlogged
  sim::Tick(59.5F);
  EXPECT_EQ(sink_->Messages().size(), 2u);
  sim::Tick(1.0F);
  messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2].rfind(notice + " until config.json loads (" + GetParam().error, 0), 0u)
      << messages[2];

  // Still broken: nothing changes, and the answer says so.
  EXPECT_EQ(
      sim::RunRconCommand(Host("quillmark.reload"))
          .at(0)
          .rfind(Host("config.json was not loaded; console commands are still not policed: "), 0),
      0u);
  EXPECT_EQ(Hooks(), 0);
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  EXPECT_EQ(sim::RunRconCommand(Host("quillmark.reload")),
            std::vector<HostText>{Host("config.json loaded, and console commands are policed from "
                                       "now on: 1 white-list entries, 0 admin entries, 0 EOS ids, "
                                       "webhook off")});
  EXPECT_EQ(Hooks(), 1);
  EXPECT_EQ(RunCommand("fly"), "");  // blocked, and audited
  EXPECT_EQ(sink_->Messages().back().rfind("info: Blocked player", 0), 0u);
  const std::size_t lines = sink_->Messages().size();
  sim::Tick(61.0F);  // no more reminders
  EXPECT_EQ(sink_->Messages().size(), lines);
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
  Plugin_Init();
  const auto lines = sink_->Lines();
  ASSERT_EQ(lines.size(), 2u);  // and the line that commands are not policed
  EXPECT_EQ(lines[0].substr(14), " [ASA:Quillmark][error] Can't open config.json\r\n");
}

}  // namespace

// A reload that names another webhook sends what comes after it there; what waits for delivery
// still goes where it was made for.
TEST_F(LifecycleTest, ReloadKeepsEachWaitingNotificationWithItsWebhook) {
  using Receiver = quillmark::tools::WebhookReceiver;
  Receiver receiver;
  receiver.SetFault(Receiver::Fault::kNeverAnswer);
  folder_.WriteConfig(nlohmann::json{{"discordwh", receiver.Url("1")}}.dump());
  Plugin_Init();
  RunCommand("first");   // posted at once, and held by Discord...
  RunCommand("second");  // ...so this one waits behind it
  ASSERT_TRUE(receiver.WaitForRequests(1, std::chrono::seconds(10)));

  folder_.WriteConfig(nlohmann::json{{"discordwh", receiver.Url("2")}}.dump());
  EXPECT_EQ(sim::RunRconCommand(Host("quillmark.reload")),
            std::vector<HostText>{Host("config.json reloaded: 0 white-list entries, 0 admin "
                                       "entries, 0 EOS ids, webhook on")});
  RunCommand("third");
  receiver.SetFault(Receiver::Fault::kNone);
  receiver.ReleaseHeld();
  ASSERT_TRUE(sim::RunFramesUntil(
      [] { return quillmark::WaitingNotifications() == 0 && sim::PendingRequests() == 0; },
      std::chrono::seconds(30)));

  std::map<std::string, std::vector<std::string>> commands;  // webhook path -> commands, in order
  for (const auto& post : receiver.Requests()) {
    if (post.status != 204) continue;
    const nlohmann::json body = nlohmann::json::parse(post.body);
    for (const auto& embed : body["embeds"]) {
      const std::string description = embed["description"];
      const auto at = description.find("Executed: ") + 10;
      commands[post.path].push_back(description.substr(at, description.find('\n', at) - at));
    }
  }
  EXPECT_EQ(commands, (std::map<std::string, std::vector<std::string>>{
                          {"/api/webhooks/1/token", {"first", "second", "quillmark.reload"}},
                          {"/api/webhooks/2/token", {"third"}}}));
}
