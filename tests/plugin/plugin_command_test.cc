// Commands that plugins run for a player through the player's controller (a shop's kit, the
// framework's hidden commands): decided as the player's own or by "plugin-commands", with audit
// lines and embeds of their own, the player never told, one warning per command word, and the
// caller's flag and the game's output passed on.
#include <gtest/gtest.h>

#include <algorithm>

#include "notify/discord_body.h"
#include "support/handlers_fixture.h"
#include "support/host_support.h"

namespace {

using nlohmann::json;
using quillmark::testing::Host;
using quillmark::testing::LiveBlocks;

constexpr char kAt[] = " at position X=0.000 Y=0.000 Z=0.000 on Test";
constexpr char kTold[] = "Not allowed: {command}";

std::string Ran(const std::string& command) {
  return "info: Plugin ran " + command + " for player Rex (E1)" + kAt;
}
std::string Refused(const std::string& command, bool admin) {
  return "info: Blocked a plugin from executing " + command + " for player Rex (E1)" + kAt +
         ", admin: " + (admin ? "true" : "false");
}
std::string Warned(const std::string& word) {
  return "warning: A plugin's command " + word +
         " was blocked; to let plugins run it for "
         "players, add \"" +
         word + "\" to \"plugin-commands\".\"allowed-commands\" in config.json";
}

// How the command reaches the game: from a plugin (with the administrator bit raised for the
// call, as a shop's "ExecuteAsAdmin" item does), or typed by the player.
enum class By { kPlugin, kPluginAsAdmin, kPlayer };

struct PluginCase {
  const char* name;
  json config;  // with a message for blocked players besides
  bool admin;   // the player's own administrator bit
  By by;
  const char* command;
  std::vector<std::string> lines;  // everything the plugin writes
  bool reaches_game;
};

class PluginCommandTest : public quillmark::testing::HandlersFixture,
                          public ::testing::WithParamInterface<PluginCase> {};

TEST_P(PluginCommandTest, IsDecidedAndWrittenDownAsAPluginsCommand) {
  const PluginCase& c = GetParam();
  json config = c.config;
  config["messages"] = {{"blocked", kTold}};
  Use(config);
  AShooterPlayerController* rex = JoinRex();
  sim::SetAdmin(rex, c.admin);
  const LiveBlocks blocks;
  const HostText returned =
      c.by == By::kPlayer ? sim::RunConsoleCommand(rex, Host(c.command))
                          : sim::RunPluginCommand(rex, Host(c.command), c.by == By::kPluginAsAdmin);
  EXPECT_EQ(blocks.Leaked(), 0);
  EXPECT_EQ(sink_->Messages(), c.lines);
  const auto received = sim::TakeReceivedCommands();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(sim::Utf8(received[0].command), c.reaches_game ? c.command : "");
  // The caller's flag reaches the game, and the game's output the caller that asked for it.
  const bool typed = c.by == By::kPlayer;
  EXPECT_EQ(received[0].write_to_log, typed);
  EXPECT_EQ(sim::Utf8(returned), c.reaches_game && !typed ? "Command executed" : "");
  EXPECT_EQ(sim::TakeEngineLog().size(), c.reaches_game && typed ? 1u : 0u);
  // Only a player whose own command was blocked is told.
  EXPECT_EQ(sim::TakeServerMessages().size(), !c.reaches_game && typed ? 1u : 0u);
}

const json kGrant = {{"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"giveitem"}}}}}};
json Plugins(std::vector<std::string> words) {
  return {{"plugin-commands", {{"allowed-commands", std::move(words)}}}};
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, PluginCommandTest,
    ::testing::Values(
        PluginCase{"by_default_blocked_as_the_players_own",
                   json::object(),
                   false,
                   By::kPlugin,
                   "GiveItem \"Blueprint'/Game/Gun'\" 1 0 0",
                   {Refused("GiveItem \"Blueprint'/Game/Gun'\" 1 0 0", false), Warned("giveitem")},
                   false},
        PluginCase{"white_listed_for_the_player",
                   {{"white-list", {"give"}}},
                   false,
                   By::kPlugin,
                   "GiveItem 1",
                   {Ran("GiveItem 1")},
                   true},
        PluginCase{"a_grant_needs_the_bit",
                   kGrant,
                   false,
                   By::kPlugin,
                   "giveitem 1",
                   {Refused("giveitem 1", false), Warned("giveitem")},
                   false},
        PluginCase{"a_grant_with_the_bit_raised_for_the_call",
                   kGrant,
                   false,
                   By::kPluginAsAdmin,
                   "giveitem 1",
                   {Ran("giveitem 1")},
                   true},
        PluginCase{"a_grant_with_the_players_own_bit",
                   kGrant,
                   true,
                   By::kPlugin,
                   "giveitem 1",
                   {Ran("giveitem 1")},
                   true},
        PluginCase{"a_word_any_case",
                   Plugins({"GiveItem"}),
                   false,
                   By::kPlugin,
                   "GIVEITEM 1",
                   {Ran("GIVEITEM 1")},
                   true},
        PluginCase{"whole_words_only",
                   Plugins({"give"}),
                   false,
                   By::kPluginAsAdmin,
                   "giveitem 1",
                   {Refused("giveitem 1", true), Warned("giveitem")},
                   false},
        PluginCase{"star_every_word",
                   Plugins({"fly", "*"}),
                   false,
                   By::kPlugin,
                   "DestroyWildDinos",
                   {Ran("DestroyWildDinos")},
                   true},
        PluginCase{"every_part_of_a_line",
                   Plugins({"giveitem", "spawndino"}),
                   false,
                   By::kPlugin,
                   "giveitem 1|spawndino x",
                   {Ran("giveitem 1|spawndino x")},
                   true},
        PluginCase{"a_refused_part",
                   Plugins({"giveitem"}),
                   false,
                   By::kPlugin,
                   "giveitem 1|SpawnDino x",
                   {Refused("giveitem 1|SpawnDino x", false) + ", refused part 2 of 2: SpawnDino x",
                    Warned("spawndino")},
                   false},
        PluginCase{"parts_by_different_rules",
                   {{"white-list", {"say"}}, {"plugin-commands", {{"allowed-commands", {"fly"}}}}},
                   false,
                   By::kPlugin,
                   "say hi|fly",
                   {Ran("say hi|fly")},
                   true},
        PluginCase{"words_that_are_not_text_passed_over",
                   {{"plugin-commands", {{"allowed-commands", {1, "fly"}}}}},
                   false,
                   By::kPlugin,
                   "fly",
                   {"error: config.json: \"plugin-commands\".\"allowed-commands\" holds number 1 "
                    "at /plugin-commands/allowed-commands/0, which is not a command word: it is "
                    "passed over",
                    Ran("fly")},
                   true},
        PluginCase{"typed_commands_never_by_plugin_commands",
                   Plugins({"*"}),
                   false,
                   By::kPlayer,
                   "giveitem 1",
                   {"info: Blocked player Rex (E1) from executing giveitem 1" + std::string(kAt) +
                    ", admin: false"},
                   false},
        PluginCase{"typed_commands_as_ever",
                   {{"white-list", {"give"}}, {"plugin-commands", {{"allowed-commands", {"*"}}}}},
                   false,
                   By::kPlayer,
                   "give 1",
                   {"info: Player Rex (E1) executed give 1" + std::string(kAt)},
                   true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class PluginCommandsTest : public quillmark::testing::HandlersFixture {
 protected:
  std::vector<std::string> Warnings() {
    std::vector<std::string> warnings;
    for (const std::string& message : sink_->Messages()) {
      if (message.starts_with("warning: ")) warnings.push_back(message);
    }
    return warnings;
  }
};

// One warning per command word under a configuration; a new one (a reload) warns afresh.
TEST_F(PluginCommandsTest, WarnsOncePerWordUntilAReload) {
  Use({{"plugin-commands", {{"allowed-commands", {"fly"}}}}});
  AShooterPlayerController* rex = JoinRex();
  for (const char* command : {"giveitem 1", "GIVEITEM 2", "spawndino x", "fly|giveitem 3"}) {
    (void)sim::RunPluginCommand(rex, Host(command));
  }
  EXPECT_EQ(Warnings(), (std::vector<std::string>{Warned("giveitem"), Warned("spawndino")}));
  // Blocked typed commands warn of nothing.
  (void)sim::RunConsoleCommand(rex, Host("summon x"));
  EXPECT_EQ(Warnings().size(), 2u);
  Use({{"plugin-commands", {{"allowed-commands", {"fly"}}}}});
  (void)sim::RunPluginCommand(rex, Host("giveitem 4"));
  EXPECT_EQ(Warnings().size(), 3u);
  EXPECT_EQ(Warnings().back(), Warned("giveitem"));
  (void)sim::TakeReceivedCommands();
}

// The bit the shop raises counts for that one call: the audit line of the next shows it off.
TEST_F(PluginCommandsTest, TheAdminBitIsTheCallsOwn) {
  Use(json::object());
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunPluginCommand(rex, Host("fly"), true);
  (void)sim::RunPluginCommand(rex, Host("fly"));
  const auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 3u);  // two audit lines, one warning
  EXPECT_EQ(messages[0], Refused("fly", true));
  EXPECT_EQ(messages[2], Refused("fly", false));
  (void)sim::TakeReceivedCommands();
}

// Each of the four kinds of console command has its own title and colour, and the embed of a
// plugin's says so.
TEST_F(PluginCommandsTest, EmbedsTellAPluginsCommandsApart) {
  Use({{"white-list", {"say"}}, {"plugin-commands", {{"allowed-commands", {"giveitem"}}}}});
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunConsoleCommand(rex, Host("say hi"));
  (void)sim::RunPluginCommand(rex, Host("giveitem 1"));
  (void)sim::RunPluginCommand(rex, Host("spawndino x"));
  (void)sim::RunConsoleCommand(rex, Host("spawndino x"));
  (void)sim::TakeReceivedCommands();
  Settle();
  std::vector<std::tuple<std::string, int, std::string>> embeds;
  for (const auto& post : receiver_.Requests()) {
    const json body = json::parse(post.body);
    for (const json& embed : body["embeds"]) {
      embeds.emplace_back(embed["title"], embed["color"], embed["description"]);
    }
  }
  const std::string player = "[Test]\n Player: Rex (E1)\n";
  const std::string position = "\nPosition: X=0.000 Y=0.000 Z=0.000\n";
  EXPECT_EQ(
      embeds,
      (std::vector<std::tuple<std::string, int, std::string>>{
          {quillmark::kAllowedTitle, quillmark::kGreen, player + "Executed: say hi" + position},
          {quillmark::kPluginAllowedTitle, quillmark::kTeal,
           player + "Run by a plugin: giveitem 1" + position},
          {quillmark::kPluginBlockedTitle, quillmark::kPurple,
           "(" + player + "Run by a plugin: spawndino x" + position},
          {quillmark::kBlockedTitle, quillmark::kRed,
           "(" + player + "Executed: spawndino x" + position}}));
}

// "discord"."notify": "blocked" posts a plugin's blocked commands only, as it does a player's.
TEST_F(PluginCommandsTest, FollowTheChannelsFilter) {
  Use({{"plugin-commands", {{"allowed-commands", {"giveitem"}}}},
       {"discord", {{"notify", "blocked"}}}});
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunPluginCommand(rex, Host("giveitem 1"));
  (void)sim::RunPluginCommand(rex, Host("fly"));
  (void)sim::TakeReceivedCommands();
  const auto embeds = Embeds();
  ASSERT_EQ(embeds.size(), 1u);
  EXPECT_EQ(embeds[0].first, quillmark::kPluginBlockedTitle);
}

}  // namespace
