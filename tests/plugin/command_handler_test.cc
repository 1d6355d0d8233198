// The command handler in front of the simulated game's console-command function: the decision of
// the allow-list, the one audit line, what the game receives, and that every engine block is
// given back on every path, failures included.
#include "plugin/command_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "audit/audit_text.h"
#include "audit/server_label.h"
#include "base/logger.h"
#include "plugin/configuration.h"
#include "support/config_generator.h"
#include "support/host_support.h"
#include "support/recording_sink.h"
#include "tools/explain.h"

namespace {

using nlohmann::json;
using quillmark::UseConfiguration;
using quillmark::testing::Host;
using quillmark::testing::LiveBlocks;
using quillmark::testing::RecordingSink;

constexpr char kPosition[] = "X=1.000 Y=2.000 Z=3.000";

class CommandHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({sink_});
    quillmark::CreatePluginLogger();
    quillmark::ForgetServerLabel();
    sim::StartWorld("Test");  // the test's own command line has no -serverkey=: the map labels
    (void)quillmark::GetServerLabel();  // the label is kept from here on
    ASSERT_TRUE(AsaApi::GetHooks().InstallHook(quillmark::kConsoleCommandHook,
                                               &quillmark::CommandHandler,
                                               &quillmark::SavedConsoleCommand));
    UseConfiguration(json::object());
  }
  void TearDown() override {
    AsaApi::GetHooks().RemoveHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler);
    sim::StopWorld();
    quillmark::ForgetServerLabel();
    sim::UseConsoleLogSink();
    quillmark::ForgetConfiguration();
  }

  AShooterPlayerController* Join(const std::string& eos, bool admin,
                                 const std::string& name = "Rex") {
    sim::PlayerSetup setup;
    setup.eos_id = eos;
    setup.character_name = name;
    setup.admin = admin;
    setup.x = 1, setup.y = 2, setup.z = 3;
    return sim::AddPlayer(setup);
  }

  struct Outcome {
    std::string game_received;          // UTF-8
    std::vector<std::string> game_ran;  // the parts the game's console ran
    bool write_to_log = false;
    std::string result;
    std::vector<std::string> messages;  // "info: ..." / "error: ..."
  };

  // Runs one command through the game, checking that the handler gave back every block.
  Outcome Run(AShooterPlayerController* player, const std::string& command) {
    const std::size_t logged = sink_->MessageCount();
    const LiveBlocks blocks;
    Outcome outcome;
    outcome.result = sim::Utf8(sim::RunConsoleCommand(player, Host(command)));
    EXPECT_EQ(blocks.Leaked(), 0) << command;
    const auto received = sim::TakeReceivedCommands();
    EXPECT_EQ(received.size(), 1u);
    if (!received.empty()) {
      outcome.game_received = sim::Utf8(received[0].command);
      for (const HostText& part : received[0].parts) outcome.game_ran.push_back(sim::Utf8(part));
      outcome.write_to_log = received[0].write_to_log;
    }
    outcome.messages = sink_->MessagesFrom(logged);
    return outcome;
  }

  static std::string Executed(const std::string& eos, const std::string& command,
                              const std::string& name = "Rex") {
    return "info: Player " + name + " (" + eos + ") executed " + command + " at position " +
           kPosition + " on Test";
  }
  static std::string Blocked(const std::string& eos, const std::string& command, bool admin,
                             const std::string& name = "Rex") {
    return "info: Blocked player " + name + " (" + eos + ") from executing " + command +
           " at position " + kPosition + " on Test, admin: " + (admin ? "true" : "false");
  }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
};

struct DecisionCase {
  const char* name;
  json config;
  const char* eos;
  bool admin;
  const char* command;
  bool allowed;
};

class DecisionTest : public CommandHandlerTest,
                     public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(DecisionTest, DecidesLogsOnceAndHandsTheCommandToTheGame) {
  const DecisionCase& c = GetParam();
  UseConfiguration(c.config);
  const Outcome outcome = Run(Join(c.eos, c.admin), c.command);
  EXPECT_TRUE(outcome.write_to_log);
  const std::string shown = quillmark::EscapeForDisplay(c.command);
  if (c.allowed) {
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Executed(c.eos, shown)});
    EXPECT_EQ(outcome.game_received, c.command);
  } else {
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Blocked(c.eos, shown, c.admin)});
    EXPECT_EQ(outcome.game_received, "");
    EXPECT_EQ(outcome.result, "");  // what the game returned for the empty command
  }
}

const json kAdmins = {{"admins",
                       {{{"eosid", {"E1"}}, {"allowed-commands", {"Fly", " *", "**"}}},
                        {{"eosid", {"E2", "e3"}}, {"allowed-commands", {"*"}}},
                        {{"eosid", {"E4"}}},
                        {{"eosid", {"E4"}}, {"allowed-commands", {"ghost"}}},
                        {{"eosid", "E5"}, {"allowed-commands", {"*"}}},
                        {{"eosid", {"E6"}}, {"allowed-commands", "*"}},
                        {{"eosid", {""}}, {"allowed-commands", {""}}},
                        {{"eosid", {7}}, {"allowed-commands", {"*"}}}}}};

INSTANTIATE_TEST_SUITE_P(
    AllowList, DecisionTest,
    ::testing::Values(
        DecisionCase{"nothing_configured_blocks_everyone", json::object(), "E2", true, "fly",
                     false},
        DecisionCase{"white_list_prefix_any_case",
                     {{"white-list", {"give"}}},
                     "X",
                     false,
                     "GiveItemNum 1 1 0 0",
                     true},
        DecisionCase{
            "white_list_for_admins_too", {{"white-list", {"give"}}}, "X", true, "giveitem", true},
        DecisionCase{"white_list_entry_longer_than_word",
                     {{"white-list", {"giveitemnum"}}},
                     "X",
                     false,
                     "give",
                     false},
        DecisionCase{
            "white_list_entry_in_capitals", {{"white-list", {"GIVE"}}}, "X", false, "give 1", true},
        DecisionCase{"empty_white_list_entry", {{"white-list", {""}}}, "X", false, "fly", false},
        DecisionCase{
            "white_list_not_an_array", {{"white-list", "give"}}, "X", false, "give", false},
        DecisionCase{"white_list_ignores_arguments",
                     {{"white-list", {"say"}}},
                     "X",
                     false,
                     "fly say",
                     false},
        DecisionCase{"white_list_non_text_passed_over",
                     {{"white-list", {1, nullptr, "fly"}}},
                     "X",
                     false,
                     "fly",
                     true},
        DecisionCase{"granted_whole_word_any_case", kAdmins, "E1", true, "FLY now", true},
        DecisionCase{"granted_not_a_longer_word", kAdmins, "E1", true, "flyer", false},
        DecisionCase{"blank_star_is_no_wildcard", kAdmins, "E1", true, "ghost", false},
        DecisionCase{"star_grants_everything", kAdmins, "E2", true, "DestroyWildDinos", true},
        DecisionCase{"second_eos_of_an_entry", kAdmins, "e3", true, "slomo 5", true},
        DecisionCase{"eos_letter_case_counts", kAdmins, "e2", true, "fly", false},
        DecisionCase{"granted_without_admin_bit", kAdmins, "E2", false, "fly", false},
        DecisionCase{"entry_without_commands_then_next", kAdmins, "E4", true, "ghost", true},
        DecisionCase{"eos_as_single_text_counts_for_nothing", kAdmins, "E5", true, "fly", false},
        DecisionCase{"commands_as_single_text", kAdmins, "E6", true, "anything", true},
        DecisionCase{"empty_eos_and_empty_command", kAdmins, "", true, "", true},
        DecisionCase{
            "empty_command_not_white_listed", {{"white-list", {"give"}}}, "X", true, "   ", false},
        DecisionCase{"star_grants_spaces_only", kAdmins, "E2", true, "   ", true},
        DecisionCase{"number_eos_never_matches", kAdmins, "7", true, "fly", false},
        DecisionCase{"tab_is_part_of_the_word", kAdmins, "E1", true, "fly\tnow", false},
        DecisionCase{"admins_as_object_walked_by_value",
                     {{"admins", {{"a", {{"eosid", {"E9"}}, {"allowed-commands", {"fly"}}}}}}},
                     "E9",
                     true,
                     "fly",
                     true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(CommandHandlerTest, NonTextGrantIsLoggedAndEndsTheSearch) {
  json config = {{"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"ghost", 5, "fly"}}}}}};
  UseConfiguration(config);
  auto* player = Join("E1", true);
  const Outcome blocked = Run(player, "fly");
  EXPECT_EQ(blocked.messages,
            (std::vector<std::string>{
                "error: Error while checking admin command permissions: "
                "[json.exception.type_error.302] type must be string, but is number",
                Blocked("E1", "fly", true)}));
  // A grant before the bad element still grants.
  EXPECT_EQ(Run(player, "ghost").messages, std::vector<std::string>{Executed("E1", "ghost")});
  // A white-listed command passes despite the failed search.
  config["white-list"] = {"fl"};
  UseConfiguration(config);
  const Outcome listed = Run(player, "fly");
  EXPECT_EQ(listed.messages.size(), 2u);
  EXPECT_EQ(listed.messages.back(), Executed("E1", "fly"));
}

// The dry run decides as the handler does: on generated configurations, players and commands,
// its verdict is the audit line's.
TEST_F(CommandHandlerTest, DryRunAgreesWithTheHandler) {
  using quillmark::testing::kIds;
  std::map<std::pair<std::string, bool>, AShooterPlayerController*> players;
  for (const char* id : kIds) {
    for (const bool admin : {false, true}) players[{id, admin}] = Join(id, admin);
  }
  quillmark::testing::ConfigGenerator generate(1208);
  std::size_t allowed = 0;
  for (int round = 0; round < 3000; ++round) {
    const json config = generate.Config();
    UseConfiguration(config);
    const std::string eos = kIds[generate.Below(kIds.size())];
    const bool admin = generate.OneIn(2);
    const std::string command = generate.Command();
    const Outcome outcome = Run(players[{eos, admin}], command);
    const auto audit_line =
        std::find_if(outcome.messages.begin(), outcome.messages.end(),
                     [](const std::string& m) { return m.rfind("info: ", 0) == 0; });
    ASSERT_NE(audit_line, outcome.messages.end());
    const bool handler_allowed = audit_line->rfind("info: Player ", 0) == 0;
    allowed += handler_allowed ? 1 : 0;
    const auto explanation = quillmark::tools::Explain(config, eos, admin, command);
    EXPECT_EQ(explanation.allowed, handler_allowed)
        << config.dump() << " eos=" << eos << " admin=" << admin << " command=" << command << "\n"
        << *audit_line;
  }
  EXPECT_GT(allowed, 100U);  // both verdicts are common
  EXPECT_LT(allowed, 2900U);
}

TEST_F(CommandHandlerTest, AdminBitInTheBlockedLineIsReadNow) {
  UseConfiguration(kAdmins);
  auto* player = Join("X", true);
  EXPECT_EQ(Run(player, "fly").messages, std::vector<std::string>{Blocked("X", "fly", true)});
  sim::SetAdmin(player, false);
  EXPECT_EQ(Run(player, "fly").messages, std::vector<std::string>{Blocked("X", "fly", false)});
}

TEST_F(CommandHandlerTest, TopLevelArrayBlocksEverything) {
  UseConfiguration(json::array({1, 2}));
  EXPECT_EQ(Run(Join("E2", true), "fly").messages,
            std::vector<std::string>{Blocked("E2", "fly", true)});
}

TEST_F(CommandHandlerTest, BracesAreLoggedAsTyped) {
  UseConfiguration({{"white-list", {"say"}}});
  EXPECT_EQ(Run(Join("X", false), "say {} {0} {{").messages,
            std::vector<std::string>{Executed("X", "say {} {0} {{")});
}

TEST_F(CommandHandlerTest, WithoutRootComponentThePositionIsTheOrigin) {
  sim::PlayerSetup setup;
  setup.eos_id = "X";
  setup.character_name = "Rex";
  setup.has_root_component = false;
  setup.x = 9;
  const Outcome outcome = Run(sim::AddPlayer(setup), "fly");
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_NE(outcome.messages[0].find("at position X=0.000 Y=0.000 Z=0.000 on Test"),
            std::string::npos);
}

TEST_F(CommandHandlerTest, PositionAndNonAsciiNamesAsTheGameHasThem) {
  auto* player = Join("X", false, "Zo\xC3\xA9 \xF0\x9F\xA6\x96");
  sim::SetPosition(player, -12.5, 3, 1e6);
  const Outcome outcome = Run(player, "fly");
  EXPECT_EQ(outcome.messages,
            std::vector<std::string>{"info: Blocked player Zo\xC3\xA9 \xF0\x9F\xA6\x96 (X) from "
                                     "executing fly at position X=-12.500 Y=3.000 Z=1000000.000 "
                                     "on Test, admin: false"});
}

TEST_F(CommandHandlerTest, LineBreaksCannotForgeAuditLines) {
  UseConfiguration({{"white-list", {"say"}}});
  // A line break runs what follows as a command of its own: decided, and here refused.
  const std::string forged = "say hi\nPlayer Admin (E2) executed DestroyAll\r\x7F";
  const Outcome outcome = Run(Join("X", false, "Rex\nBlocked"), forged);
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_EQ(outcome.messages[0],
            "info: Blocked player Rex\\x0ABlocked (X) from executing say hi\\x0APlayer Admin (E2) "
            "executed DestroyAll\\x0D\\x7F at position X=1.000 Y=2.000 Z=3.000 on Test, admin: "
            "false, refused part 2 of 3: Player Admin (E2) executed DestroyAll");
  EXPECT_EQ(outcome.game_received, "");
  const std::string said = "say hi\x01\x1B[2J\x7F";  // no line break: one command, shown escaped
  EXPECT_EQ(Run(Join("X", false), said).messages,
            std::vector<std::string>{Executed("X", "say hi\\x01\\x1B[2J\\x7F")});
  for (const std::string& line : sink_->Lines()) {
    EXPECT_EQ(line.find('\n'), line.size() - 1);  // one line end, at the end
  }
}

TEST_F(CommandHandlerTest, AdminPasswordNeverReachesTheLog) {
  UseConfiguration({{"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"enablecheats"}}}}}});
  auto* admin = Join("E1", true);
  const Outcome allowed = Run(admin, "EnableCheats hunter2");
  EXPECT_EQ(allowed.messages, std::vector<std::string>{Executed("E1", "EnableCheats ***")});
  EXPECT_EQ(allowed.game_received, "EnableCheats hunter2");
  const Outcome blocked = Run(Join("X", true), "  ENABLECHEATS\thunter2 more");
  EXPECT_EQ(blocked.messages, std::vector<std::string>{Blocked("X", "  ENABLECHEATS ***", true)});
  EXPECT_EQ(Run(admin, "enablecheats").messages,
            std::vector<std::string>{Executed("E1", "enablecheats")});
  EXPECT_EQ(Run(admin, "enablecheatsx hunter2").messages,
            std::vector<std::string>{Blocked("E1", "enablecheatsx hunter2", true)});
  // The name in double quotes runs EnableCheats too, alone or as a part of a chained line.
  EXPECT_EQ(Run(admin, "\"EnableCheats\" s3cr3t").messages,
            std::vector<std::string>{Blocked("E1", "\"EnableCheats\" ***", true)});
  EXPECT_EQ(Run(admin, "fly|\"enableCHEATS\"s3cr3t").messages,
            std::vector<std::string>{Blocked("E1", "fly|\"enableCHEATS\" ***", true) +
                                     ", refused part 1 of 2: fly"});
  for (const std::string& line : sink_->Lines()) {
    EXPECT_EQ(line.find("hunter2 more"), std::string::npos);
    EXPECT_EQ(line.find("EnableCheats hunter2"), std::string::npos);
    EXPECT_EQ(line.find("s3cr3t"), std::string::npos);
  }
}

// Whichever engine allocation fails, the game's function is still called once, with the flag
// set; the command reaches it only if it was logged as executed; nothing is leaked.
TEST_F(CommandHandlerTest, AFailureAnywhereFailsClosed) {
  UseConfiguration({{"white-list", {"give"}}});
  auto* player = Join("E1", false);
  int failures_seen = 0;
  for (int nth = 1; nth <= 40; ++nth) {
    const std::size_t logged = sink_->MessageCount();
    const LiveBlocks blocks;
    sim::FailAllocation(nth);
    bool escaped = false;
    try {
      (void)sim::RunConsoleCommand(player, HOST_TEXT("give 1"));
    } catch (const std::bad_alloc&) {
      escaped = true;  // only the game's own function may fail past the handler
    }
    sim::FailAllocation(0);
    EXPECT_EQ(blocks.Leaked(), 0) << nth;
    const auto received = sim::TakeReceivedCommands();
    if (received.empty()) {
      EXPECT_TRUE(escaped) << nth;  // the game failed before it called its function
      continue;
    }
    ASSERT_EQ(received.size(), 1u) << nth;
    EXPECT_TRUE(received[0].write_to_log);
    const auto all = sink_->Messages();
    const std::vector<std::string> messages(all.begin() + static_cast<std::ptrdiff_t>(logged),
                                            all.end());
    ASSERT_EQ(messages.size(), 1u) << nth;
    if (messages[0].rfind("error: ", 0) == 0) {
      ++failures_seen;
      EXPECT_EQ(messages[0].rfind("error: Blocked player", 0), 0u) << messages[0];
      EXPECT_NE(messages[0].find(std::string("after an error: ") + std::bad_alloc().what()),
                std::string::npos);
      EXPECT_TRUE(received[0].command.empty()) << nth;
    } else {
      EXPECT_EQ(messages[0], Executed("E1", "give 1"));
      EXPECT_EQ(sim::Utf8(received[0].command), "give 1");
    }
  }
  EXPECT_GE(failures_seen, 2);  // the handler's own: the EOS id and the name
}

// A typed command reaches the game with the flag true, so that its output goes to the game's log
// (a plugin's, with the flag false, gets its output back: see plugin_command_test.cc).
TEST_F(CommandHandlerTest, TypedCommandsWriteTheirOutputToTheGamesLog) {
  UseConfiguration({{"white-list", {"give"}}});
  auto* player = Join("E1", false);
  EXPECT_EQ(Run(player, "give 1").result, "");
  EXPECT_EQ(sim::TakeEngineLog(), std::vector<HostText>{HOST_TEXT("Command executed")});
  EXPECT_EQ(Run(player, "fly").result, "");
  EXPECT_TRUE(sim::TakeEngineLog().empty());  // blocked: the game ran nothing
}

// Chained commands: the console runs every part, so every part is decided; one refused part
// blocks the whole line, and the line says which part it was.
struct ChainCase {
  const char* name;
  const char* command;
  std::vector<std::string> ran;  // what the game ran; nothing when blocked
  const char* refused;           // the blocked line's end (", refused part ..."), null: allowed
};

class ChainTest : public CommandHandlerTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainTest, EveryPartTheConsoleRunsIsDecided) {
  UseConfiguration(
      {{"white-list", {"give"}}, {"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"fly"}}}}}});
  const ChainCase& c = GetParam();
  const Outcome outcome = Run(Join("E1", true), c.command);
  const std::string shown = quillmark::EscapeForDisplay(c.command);
  EXPECT_EQ(outcome.game_ran, c.ran);
  ASSERT_EQ(outcome.messages.size(), 1u);
  if (c.refused == nullptr) {
    EXPECT_EQ(outcome.messages[0], Executed("E1", shown));
    EXPECT_EQ(outcome.game_received, c.command);
  } else {
    EXPECT_EQ(outcome.messages[0], Blocked("E1", shown, true) + c.refused);
    EXPECT_EQ(outcome.game_received, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ChainTest,
    ::testing::Values(
        ChainCase{"pipe_appends_a_command",
                  "give|DestroyWildDinos",
                  {},
                  ", refused part 2 of 2: DestroyWildDinos"},
        ChainCase{"quoted_pipe_is_text", "give \"a|b\"", {"give \"a|b\""}, nullptr},
        ChainCase{"each_part_granted", "fly|fly", {"fly", "fly"}, nullptr},
        ChainCase{"carriage_return",
                  "give 1\rDestroyWildDinos",
                  {},
                  ", refused part 2 of 2: DestroyWildDinos"},
        ChainCase{"line_feed_inside_quotes",
                  "give \"x\nDestroyWildDinos\"",
                  {},
                  ", refused part 2 of 2: DestroyWildDinos\""},
        ChainCase{"comment_part_runs_nothing", "give 1|// DestroyWildDinos", {"give 1"}, nullptr},
        ChainCase{"comment_inside_a_part", "fly // x|give", {"fly ", "give"}, nullptr},
        ChainCase{"refused_first",
                  "DestroyWildDinos|give",
                  {},
                  ", refused part 1 of 2: DestroyWildDinos"},
        ChainCase{"separators_only_are_the_empty_command", "||", {}, ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A comment inside the first word: the console runs the word before it, which must pass too.
TEST_F(CommandHandlerTest, ACommentCannotHideTheWordTheConsoleRuns) {
  UseConfiguration({{"white-list", {"fly//", "give"}}});
  const Outcome hidden = Run(Join("E1", false), "fly//x");
  EXPECT_EQ(hidden.messages, std::vector<std::string>{Blocked("E1", "fly//x", false)});
  EXPECT_TRUE(hidden.game_ran.empty());
  const Outcome after_the_word = Run(Join("E1", false), "give 1 // a note");
  EXPECT_EQ(after_the_word.game_ran, std::vector<std::string>{"give 1 "});
}

TEST_F(CommandHandlerTest, SeparatorsAloneAreTheEmptyCommand) {
  UseConfiguration({{"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"*"}}}}}});
  const Outcome granted = Run(Join("E1", true), "|\r\n|");
  EXPECT_EQ(granted.messages, std::vector<std::string>{Executed("E1", "|\\x0D\\x0A|")});
  EXPECT_TRUE(granted.game_ran.empty());
}

// Texts of any language arrive whole; the EOS id is compared exactly and escaped like every
// other field. (The server label's escaping is the server label test's and the stand-in's.)
TEST_F(CommandHandlerTest, EveryTextArrivesWholeAndEscaped) {
  UseConfiguration(
      {{"white-list", {"say"}}, {"admins", {{{"eosid", {"???"}}, {"allowed-commands", {"*"}}}}}});
  const std::vector<std::pair<const char*, const char*>> texts = {
      {"\xD0\x97\xD0\xBE\xD1\x8F", "\xD0\x97\xD0\xBE\xD1\x8F"},  // Cyrillic
      {"\xE6\x9D\x8E\xE9\x9B\xB7", "\xE6\x9D\x8E\xE9\x9B\xB7"},  // CJK
      {"Zo\xC3\xA9", "Zo\xC3\xA9"},                              // accented Latin
      {"\xF0\x9F\xA6\x96", "\xF0\x9F\xA6\x96"},                  // outside the BMP
      {"Rex\xE2\x80\xAEgnp.exe", "Rex\\u{202E}gnp.exe"}};        // right-to-left
  for (const auto& [text, shown] : texts) {
    const Outcome outcome =
        Run(Join("\xC3\xA9\xC3\x89\xE6\xBC\xA2", true, text), std::string("say ") + text);
    EXPECT_EQ(outcome.messages,
              std::vector<std::string>{std::string("info: Player ") + shown +
                                       " (\xC3\xA9\xC3\x89\xE6\xBC\xA2) executed say " + shown +
                                       " at position " + kPosition + " on Test"})
        << text;
  }
  // An id of non-ASCII letters is not the entry "???": nothing is granted.
  EXPECT_EQ(Run(Join("\xC3\xA9\xC3\x89\xE6\xBC\xA2", true), "fly").game_received, "");
  EXPECT_EQ(Run(Join("???", true), "fly").game_received, "fly");
  // A lone surrogate in a name becomes U+FFFD.
  sim::PlayerSetup setup;
  setup.eos_id = "X";
  auto* player = sim::AddPlayer(setup);
  sim::SetCharacterName(player, "x");
  const HostText lone = {HostChar('a'), static_cast<HostChar>(0xD83E), HostChar('b')};
  (void)sim::RunConsoleCommand(player, HostText(HOST_TEXT("say ")) + lone);
  (void)sim::TakeReceivedCommands();
  ASSERT_FALSE(sink_->Messages().empty());
  EXPECT_NE(sink_->Messages().back().find("executed say a\xEF\xBF\xBD"
                                          "b at"),
            std::string::npos);
}

}  // namespace

// Entries with "groups", through the simulated Permissions plugin: granted to a player in the
// group while the administrator bit is set, its groups asked for once per command and only when
// they could grant, every block it hands back released, failures included.
class PermissionsTest : public CommandHandlerTest {
 protected:
  void SetUp() override {
    CommandHandlerTest::SetUp();
    sim::ResetPermissions();
    UseConfiguration(json::parse(R"({"white-list": ["say"], "admins": [
      {"eosid": ["E2"], "allowed-commands": ["walk"]},
      {"groups": ["Builders", "Moderators"], "allowed-commands": ["fly", "walk"]}]})"));
  }
  void TearDown() override {
    sim::ResetPermissions();
    CommandHandlerTest::TearDown();
  }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> warnings;
    for (const std::string& message : sink_->Messages()) {
      if (message.starts_with("warning: ")) warnings.push_back(message);
    }
    return warnings;
  }
};

TEST_F(PermissionsTest, GrantsThroughAGroupOnlyWhileTheAdministratorBitIsSet) {
  sim::SetPlayerGroup("E1", "Moderators", true);
  sim::SetPlayerGroup("E3", "moderators", true);  // another group: names compare exactly
  ASSERT_TRUE(sim::SetPermissionsLoaded(true));
  struct Case {
    const char* eos;
    bool admin;
    const char* command;
    bool allowed;
    std::int64_t asked;
  };
  const Case cases[] = {
      {"E1", true, "fly", true, 1},    {"E1", true, "fly 1|walk|fly", true, 1},
      {"E1", false, "fly", false, 0},  {"E1", true, "say hi", true, 0},
      {"E1", true, "ghost", false, 0}, {"E2", true, "walk", true, 0},
      {"E3", true, "fly", false, 1},   {"E4", true, "fly", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.eos) + " " + c.command);
    const std::int64_t before = sim::GetPermissionsStats().player_groups;
    const Outcome outcome = Run(Join(c.eos, c.admin), c.command);
    EXPECT_EQ(sim::GetPermissionsStats().player_groups - before, c.asked);
    EXPECT_EQ(sim::GetPermissionsStats().in_group, 0);
    ASSERT_EQ(outcome.messages.size(), 1U);
    EXPECT_EQ(outcome.messages[0],
              c.allowed ? Executed(c.eos, c.command) : Blocked(c.eos, c.command, c.admin));
    EXPECT_EQ(outcome.game_received, c.allowed ? c.command : "");
  }
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(PermissionsTest, WhileThePluginIsAbsentGroupsGrantNothingAndOneWarningSaysSo) {
  sim::SetPlayerGroup("E1", "Builders", true);
  auto* player = Join("E1", true);
  ASSERT_TRUE(sim::SetPermissionsLoaded(true));
  (void)Run(player, "fly");  // whatever an earlier test left noticed, it is loaded now
  const std::size_t before = Warnings().size();
  const std::string absent =
      "warning: The Permissions plugin is not loaded: admins entries with \"groups\" grant "
      "nothing until it is";
  const std::string loaded =
      "warning: The Permissions plugin is loaded: admins entries with \"groups\" grant again";
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(sim::SetPermissionsLoaded(false));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Run(player, "fly").game_received, "");
    EXPECT_EQ(Run(player, "say hi").game_received, "say hi");
    ASSERT_TRUE(sim::SetPermissionsLoaded(true));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Run(player, "fly").game_received, "fly");
  }
  const std::vector<std::string> all = Warnings();
  EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
            (std::vector<std::string>{absent, loaded, absent, loaded}));
}

// Whichever engine allocation fails, the groups handed back are released and the command is
// decided, or blocked after the failure.
TEST_F(PermissionsTest, AFailureAnywhereReleasesTheGroups) {
  for (const char* group : {"A", "B", "Moderators", "C"}) sim::SetPlayerGroup("E1", group, true);
  ASSERT_TRUE(sim::SetPermissionsLoaded(true));
  auto* player = Join("E1", true);
  for (int nth = 1; nth <= 40; ++nth) {
    const LiveBlocks blocks;
    sim::FailAllocation(nth);
    try {
      (void)sim::RunConsoleCommand(player, HOST_TEXT("fly"));
    } catch (const std::bad_alloc&) {  // NOLINT(bugprone-empty-catch): the game's own failure
    }
    sim::FailAllocation(0);
    EXPECT_EQ(blocks.Leaked(), 0) << nth;
    for (const sim::ReceivedCommand& received : sim::TakeReceivedCommands()) {
      EXPECT_TRUE(received.command.empty() || sim::Utf8(received.command) == "fly") << nth;
    }
  }
}
