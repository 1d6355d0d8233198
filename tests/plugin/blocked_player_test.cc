// What a player whose command was blocked is told: the configured text with the refused part as
// the audit line shows it, after the one audit line and the one embed, and nothing when the
// configuration says nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "notify/markdown.h"
#include "support/handlers_fixture.h"
#include "support/host_support.h"

namespace {

using nlohmann::json;
using quillmark::EscapeMarkdown;
using quillmark::testing::Host;

struct TellCase {
  const char* name;
  json messages;        // the "messages" object
  const char* command;  // typed by a player who may run "give" only
  const char* told;     // null: nothing
};

class BlockedPlayerTest : public quillmark::testing::HandlersFixture,
                          public ::testing::WithParamInterface<TellCase> {};

TEST_P(BlockedPlayerTest, IsToldWhatWasRefused) {
  const TellCase& c = GetParam();
  Use({{"white-list", {"give"}}, {"messages", c.messages}});
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunConsoleCommand(rex, Host(c.command));
  (void)sim::TakeReceivedCommands();
  const auto told = sim::TakeServerMessages();
  if (c.told == nullptr) {
    EXPECT_TRUE(told.empty());
  } else {
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].controller, rex);
    EXPECT_EQ(sim::Utf8(told[0].text), c.told);
  }
  // Still exactly one audit line and one embed.
  const auto messages = sink_->Messages();
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [](const std::string& m) { return m.rfind("info: ", 0) == 0; }),
            1);
  EXPECT_EQ(Embeds().size(), 1u);
}

const json kTell = {{"blocked", "Not for you: {command} {other}"}};

INSTANTIATE_TEST_SUITE_P(
    Messages, BlockedPlayerTest,
    ::testing::Values(
        TellCase{"the_command", kTell, "fly now", "Not for you: fly now {other}"},
        TellCase{"let_through_is_not_told", kTell, "give 1", nullptr},
        TellCase{"the_refused_part_of_a_line", kTell, "give 1|DestroyWildDinos|give 2",
                 "Not for you: DestroyWildDinos {other}"},
        TellCase{"password_hidden", kTell, "EnableCheats hunter2",
                 "Not for you: EnableCheats *** {other}"},
        TellCase{"escaped", kTell, "fly\x1B[2J", "Not for you: fly\\x1B[2J {other}"},
        TellCase{"password_hidden_after_any_blank", kTell,
                 "\v\xE3\x80\x80"
                 "EnableCheats hunter2",
                 "Not for you: \\x0B\xE3\x80\x80"
                 "EnableCheats *** {other}"},
        TellCase{"cut_as_an_embed_field", kTell,
                 "say 012345678901234567890123456789012345678901234567890123456789"
                 "012345678901234567890123456789012345678901234567890123456789",
                 "Not for you: say 012345678901234567890123456789012345678901234567890123456789"
                 "01234567890123456789012345678901234\xE2\x80\xA6 {other}"},
        TellCase{"every_placeholder", {{"blocked", "{command}/{command}"}}, "fly", "fly/fly"},
        TellCase{"no_placeholder", {{"blocked", "Ask an admin."}}, "fly", "Ask an admin."},
        TellCase{"absent", json::object(), "fly", nullptr},
        TellCase{"empty", {{"blocked", ""}}, "fly", nullptr},
        TellCase{"not_text", {{"blocked", 5}}, "fly", nullptr}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The server's password, once an RCON client authenticated with it, shows nowhere a console
// command is shown, whatever the command: not in the audit line, the embed or what the player is
// told.
class ServerPasswordTest : public quillmark::testing::HandlersFixture {};

TEST_F(ServerPasswordTest, ShowsInNoCommand) {
  Use({{"white-list", {"say"}}, {"messages", kTell}});
  sim::SetServerAdminPassword("hunter2");
  ASSERT_EQ(
      sim::SendRconPacket(sim::OpenRconConnection("10.0.0.7:4242"), kRconAuth, Host("hunter2"))
          .size(),
      1u);
  AShooterPlayerController* rex = JoinRex();
  (void)sim::RunConsoleCommand(rex, Host("EnableCheat hunter2"));
  (void)sim::RunConsoleCommand(rex, Host("say the pw is hunter2hunter2!"));
  (void)sim::TakeReceivedCommands();
  const auto told = sim::TakeServerMessages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(sim::Utf8(told[0].text), "Not for you: EnableCheat *** {other}");
  const auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].find(" from executing EnableCheat *** at "), std::string::npos);
  EXPECT_NE(messages[1].find(" executed say the pw is ***! at "), std::string::npos);
  const auto embeds = Embeds();
  ASSERT_EQ(embeds.size(), 2u);
  // The embed shows the command as typed, its markdown escaped.
  EXPECT_NE(embeds[0].second.find("\nExecuted: " + EscapeMarkdown("EnableCheat ***") + "\n"),
            std::string::npos);
  EXPECT_NE(embeds[1].second.find("\nExecuted: " + EscapeMarkdown("say the pw is ***!") + "\n"),
            std::string::npos);
}

}  // namespace
