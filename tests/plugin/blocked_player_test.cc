// What a player whose command was blocked is told: the configured text with the refused part as
// the audit line shows it, after the one audit line and the one embed, and nothing when the
// configuration says nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/handlers_fixture.h"
#include "support/host_support.h"

namespace {

using nlohmann::json;
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
  sim::PlayerSetup setup;
  setup.eos_id = "E1";
  setup.character_name = "Rex";
  AShooterPlayerController* rex = sim::AddPlayer(setup);
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

}  // namespace
