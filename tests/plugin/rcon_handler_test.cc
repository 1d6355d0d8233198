// The RCON handler in front of the simulated game's RCON handler: which packets are audited and
// how the client and the command are shown, the one line and the one embed of each command,
// that every packet still reaches the game, and that the password is never shown.
#include "plugin/rcon_handler.h"

#include <gtest/gtest.h>

#include "support/handlers_fixture.h"
#include "support/host_support.h"

namespace {

using nlohmann::json;
using quillmark::testing::Host;
using quillmark::testing::LiveBlocks;

constexpr char kPassword[] = "s3cret-pw";
const HostText kGameAnswer = Host("Server received, But no response!! ");

struct ShownCase {
  const char* name;
  const char* body;
  const char* shown;
};

class RconHandlerTest : public quillmark::testing::HandlersFixture {
 protected:
  void SetUp() override {
    HandlersFixture::SetUp();
    sim::SetServerAdminPassword(kPassword);
    Use(json::object());
  }
  // A client connected from `peer`, authenticated.
  static RCONClientConnection* Client(const std::string& peer) {
    RCONClientConnection* connection = sim::OpenRconConnection(peer);
    EXPECT_EQ(sim::SendRconPacket(connection, kRconAuth, Host(kPassword)).size(), 1u);
    return connection;
  }
  // Sends one packet and returns the plugin's lines it caused; `answers` gets the game's.
  std::vector<std::string> Send(RCONClientConnection* connection, int type, const std::string& body,
                                std::vector<sim::RconReply>* answers = nullptr) {
    const std::size_t logged = sink_->MessageCount();
    const LiveBlocks blocks;
    std::vector<sim::RconReply> replies = sim::SendRconPacket(connection, type, Host(body));
    EXPECT_EQ(blocks.Leaked(), 0) << body;
    if (answers != nullptr) *answers = std::move(replies);
    return sink_->MessagesFrom(logged);
  }
  static std::string Line(const std::string& client, const std::string& command) {
    return "info: RCON client " + client + " executed " + command + " on Test";
  }
};

TEST_F(RconHandlerTest, OnlyCommandsOfAnAuthenticatedClientAreAudited) {
  RCONClientConnection* client = sim::OpenRconConnection("10.0.0.7:4242");
  std::vector<sim::RconReply> answers;
  // Before authentication: the game ignores the command, and so does the audit.
  EXPECT_TRUE(Send(client, kRconExecCommand, "DestroyWildDinos", &answers).empty());
  EXPECT_TRUE(answers.empty());
  // Authentication packets, wrong and right: never audited, answered by the game as ever.
  EXPECT_TRUE(Send(client, kRconAuth, "guess", &answers).empty());
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].id, -1);
  EXPECT_TRUE(Send(client, kRconAuth, kPassword, &answers).empty());
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_NE(answers[0].id, -1);
  // A command now: one line, and the game still runs it and answers.
  EXPECT_EQ(Send(client, kRconExecCommand, "ListPlayers", &answers),
            std::vector<std::string>{Line("#1 (10.0.0.7:4242)", "ListPlayers")});
  EXPECT_EQ(answers, (std::vector<sim::RconReply>{{answers[0].id, 0, kGameAnswer}}));
  for (const std::string& line : sink_->Lines()) {
    EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
    EXPECT_EQ(line.find("guess"), std::string::npos) << line;
  }
}

// The framework runs a registered RCON command for a packet of any type of an authenticated
// client, and the game never sees it: such packets are written down with their type, but for a
// blank one and the client authenticating again.
TEST_F(RconHandlerTest, WhatTheFrameworkRunsFromAPacketOfAnotherTypeIsAuditedToo) {
  const FString name(HOST_TEXT("probe.run"));
  int ran = 0;
  AsaApi::GetCommands().AddRconCommand(name, [&ran](auto*, auto*, auto*) { ++ran; });
  RCONClientConnection* client = Client("10.0.0.7:4242");
  EXPECT_EQ(Send(client, 0, "probe.run now"),
            std::vector<std::string>{"info: RCON client #1 (10.0.0.7:4242) sent probe.run now as "
                                     "a packet of type 0 on Test"});
  EXPECT_EQ(Send(client, 0, "probe.run s3cret-pw"),
            std::vector<std::string>{"info: RCON client #1 (10.0.0.7:4242) sent probe.run *** as "
                                     "a packet of type 0 on Test"});
  // Another plugin's command cannot be told from a password typed wrong.
  EXPECT_EQ(Send(client, kRconAuth, "probe.run now"),
            std::vector<std::string>{
                "info: RCON client #1 (10.0.0.7:4242) sent *** as a packet of type 3 on Test"});
  EXPECT_EQ(ran, 3);
  EXPECT_TRUE(Send(client, kRconAuth, kPassword).empty());  // authenticating again
  EXPECT_TRUE(Send(client, 0, "").empty());                 // the empty probe some clients send
  for (const std::string& line : sink_->Lines()) {
    EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
  }
  EXPECT_TRUE(Send(client, 0, "  ").empty());
  AsaApi::GetCommands().RemoveRconCommand(name);
  const auto embeds = Embeds();
  ASSERT_EQ(embeds.size(), 3u);
  EXPECT_EQ(embeds[0].second,
            "[Test]\nRCON client: \\#1 \\(10.0.0.7\\:4242\\)\nSent as type 0: probe.run now\n");
  EXPECT_EQ(embeds[2].second,
            "[Test]\nRCON client: \\#1 \\(10.0.0.7\\:4242\\)\nSent as type 3: \\*\\*\\*\n");
}

class RconAuthenticationTest : public RconHandlerTest,
                               public ::testing::WithParamInterface<ShownCase> {};

// An authentication packet's text shows nothing but the name of a command the framework runs
// for it: this plugin's own, or the framework's.
TEST_P(RconAuthenticationTest, ShowsOnlyTheCommandTheFrameworkRuns) {
  RCONClientConnection* client = Client("10.0.0.7:4242");
  const std::vector<std::string> lines = Send(client, kRconAuth, GetParam().body);
  EXPECT_EQ(lines, std::vector<std::string>{"info: RCON client #1 (10.0.0.7:4242) sent " +
                                            std::string(GetParam().shown) +
                                            " as a packet of type 3 on Test"});
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RconAuthenticationTest,
    ::testing::Values(
        ShownCase{"own_command_alone", "quillmark.reload", "quillmark.reload"},
        ShownCase{"own_command_any_case_with_blanks", "  QuillMark.Reload  ", "QuillMark.Reload"},
        ShownCase{"framework_command_with_arguments", "plugins.unload quillmark",
                  "plugins.unload ***"},
        ShownCase{"framework_commands", " plugins.load x y", "plugins.load ***"},
        ShownCase{"server_id", "map.setserverid 7", "map.setserverid ***"},
        ShownCase{"password_typed_wrong", "s3cret-pv", "***"},
        ShownCase{"near_miss_with_blanks", "correct horse battery stapel", "***"},
        ShownCase{"word_not_split_at_a_tab", "quillmark.reload\tx", "***"},
        ShownCase{"password_after_a_command", "quillmark.reload s3cret-pw", "quillmark.reload ***"},
        ShownCase{"password_and_more", "s3cret-pw now", "***"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RconHandlerTest, EachConnectionKeepsItsNumber) {
  RCONClientConnection* panel = Client("10.0.0.7:4242");
  RCONClientConnection* bot = Client("10.0.0.7:5151");
  RCONClientConnection* unnamed = Client("");
  EXPECT_EQ(Send(panel, kRconExecCommand, "a"),
            std::vector<std::string>{Line("#1 (10.0.0.7:4242)", "a")});
  EXPECT_EQ(Send(bot, kRconExecCommand, "b"),
            std::vector<std::string>{Line("#2 (10.0.0.7:5151)", "b")});
  EXPECT_EQ(Send(panel, kRconExecCommand, "c"),
            std::vector<std::string>{Line("#1 (10.0.0.7:4242)", "c")});
  EXPECT_EQ(Send(unnamed, kRconExecCommand, "d"), std::vector<std::string>{Line("#3", "d")});
  // Authenticating again on a connection that is not authenticated begins a new client there;
  // a wrong password sent while authenticated is written, but not shown.
  EXPECT_EQ(Send(bot, kRconAuth, "wrong"),
            std::vector<std::string>{"info: RCON client #2 (10.0.0.7:5151) sent *** as a packet of "
                                     "type 3 on Test"});
  EXPECT_TRUE(Send(bot, kRconAuth, kPassword).empty());
  EXPECT_EQ(Send(bot, kRconExecCommand, "e"),
            std::vector<std::string>{Line("#4 (10.0.0.7:5151)", "e")});
  // A plugin started again numbers from 1.
  quillmark::ForgetRconClients();
  EXPECT_EQ(Send(bot, kRconExecCommand, "f"),
            std::vector<std::string>{Line("#1 (10.0.0.7:5151)", "f")});
}

class RconShownTest : public RconHandlerTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(RconShownTest, TheCommandIsShownAsAConsoleCommandIs) {
  EXPECT_EQ(Send(Client("10.0.0.7:4242\n#9"), kRconExecCommand, GetParam().body),
            std::vector<std::string>{Line("#1 (10.0.0.7:4242\\x0A#9)", GetParam().shown)});
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RconShownTest,
    ::testing::Values(
        ShownCase{"plain", "SetTimeOfDay 12:00", "SetTimeOfDay 12:00"}, ShownCase{"empty", "", ""},
        ShownCase{"enable_cheats_argument_hidden", "enablecheats hunter2", "enablecheats ***"},
        ShownCase{"password_hidden_anywhere", "ServerChat the pw is s3cret-pw!s3cret-pw",
                  "ServerChat the pw is ***!***"},
        ShownCase{"line_break_escaped", "say a\nRCON client #2 executed x",
                  "say a\\x0ARCON client #2 executed x"},
        ShownCase{"invisible_formatting_escaped", "say \xE2\x80\xAEgnp", "say \\u{202E}gnp"},
        ShownCase{"any_language_and_braces", "ServerChat {0} \xD0\xBF\xD1\x80\xD0\xB8",
                  "ServerChat {0} \xD0\xBF\xD1\x80\xD0\xB8"},
        ShownCase{"chained_parts_each_hidden", "say x|EnableCheats pw", "say x|EnableCheats ***"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RconHandlerTest, OneBlueEmbedPerCommandAndNothingWhenAuditIsOff) {
  RCONClientConnection* client = Client("10.0.0.7:4242");
  (void)Send(client, kRconExecCommand, "Broadcast hello");
  Use({{"rcon", {{"audit", false}}}});
  std::vector<sim::RconReply> answers;
  EXPECT_TRUE(Send(client, kRconExecCommand, "Broadcast unseen", &answers).empty());
  EXPECT_EQ(answers.size(), 1u);  // not audited, still run
  const auto embeds = Embeds();
  ASSERT_EQ(embeds.size(), 1u);
  EXPECT_EQ(embeds[0].first, ":satellite: RCON Command");
  EXPECT_EQ(embeds[0].second,
            "[Test]\nRCON client: \\#1 \\(10.0.0.7\\:4242\\)\nExecuted: Broadcast hello\n");
  const auto posts = receiver_.Requests();
  EXPECT_NE(posts[0].body.find("\"color\": 3447003"), std::string::npos);
}

// With the channel for blocked commands only, allowed console commands keep their line and
// lose their embed; blocked ones and RCON commands keep both.
TEST_F(RconHandlerTest, TheChannelForBlockedCommandsStillShowsRcon) {
  Use({{"white-list", {"give"}}, {"discord", {{"notify", "blocked"}}}});
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunConsoleCommand(rex, Host("give 1"));
  (void)sim::RunConsoleCommand(rex, Host("fly"));
  (void)Send(Client("10.0.0.7:4242"), kRconExecCommand, "ListPlayers");
  (void)sim::TakeReceivedCommands();
  const auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].rfind("info: Player Rex (E1) executed give 1", 0), 0u);
  std::vector<std::string> titles;
  for (const auto& [title, description] : Embeds()) titles.push_back(title);
  EXPECT_EQ(titles, (std::vector<std::string>{":x: Blocked Command", ":satellite: RCON Command"}));
}

}  // namespace
