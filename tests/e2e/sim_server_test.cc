// The whole system through its real pieces: the stand-in server loads the plugin library, plays
// a script, and the plugin posts over HTTP to the Discord stand-in. What is checked is what an
// operator sees: the log lines, what the game received, and the posted embeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "e2e/stand_in.h"

namespace {

using nlohmann::json;
using quillmark::testing::ParsePlay;
using quillmark::testing::RunProcess;
using quillmark::tools::WebhookReceiver;

using quillmark::testing::Play;

class SimServerTest : public quillmark::testing::StandInTest {};

TEST_F(SimServerTest, TheExamplePlayEndToEnd) {
  std::ifstream example(std::filesystem::path(QUILLMARK_SOURCE_DIR) / "examples" / "server" /
                        "ArkApi" / "Plugins" / "quillmark" / "config.json");
  json config = json::parse(example);
  config.erase("discordwh");
  WriteConfig(config);
  std::ifstream play_file(std::filesystem::path(QUILLMARK_SOURCE_DIR) / "examples" / "play.txt");
  const std::string script((std::istreambuf_iterator<char>(play_file)),
                           std::istreambuf_iterator<char>());
  const Play play = Run(script, {"-serverkey=Demo"});
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  const std::string mia = "Mia (00021f8e7d6c5b4a39281706f5e4d3c2)";
  const std::string kZoeSays =
      "ServerChat {hello} from \"Zo\xC3\xA9\" \xE2\x80\x94 "
      "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, "
      "\xE4\xBD\xA0\xE5\xA5\xBD";
  const std::string mia_at = " at position X=-12.500 Y=3.000 Z=1000000.000 on Demo";
  const std::string kKit =
      "SpawnDino \"Blueprint'/Game/PrimalEarth/Dinos/Raptor/"
      "Raptor_Character_BP.Raptor_Character_BP'\" 500 0 0 35";
  EXPECT_EQ(
      play.log,
      (std::vector<std::string>{
          "[ASA:Quillmark][info] Player Rex Smith (0002feedfacecafebeef000000000001) "
          "executed GiveItemNum 121 1 0 0 at position X=1500.250 Y=-320.000 Z=12.125 on Demo",
          "[ASA:Quillmark][info] Player " + mia + " executed fly" + mia_at,
          "[ASA:Quillmark][info] Blocked player " + mia + " from executing fly" + mia_at +
              ", admin: false",
          "[ASA:Quillmark][info] Blocked player " + mia + " from executing DestroyWildDinos" +
              mia_at + ", admin: true",
          "[ASA:Quillmark][info] Blocked player Zo\xC3\xA9 (0002c0ffee0000000000000000000042) "
          "from executing " +
              kZoeSays +
              " at position X=0.000 Y=0.000 Z=0.000 on Demo, "
              "admin: false",
          "[ASA:Quillmark][info] Blocked player Rex Smith (0002feedfacecafebeef000000000001) "
          "from executing give 1|DestroyWildDinos at position X=1500.250 Y=-320.000 "
          "Z=12.125 on Demo, admin: false, refused part 2 of 2: DestroyWildDinos",
          "[ASA:Quillmark][info] Player " + mia + " executed EnableCheats ***" + mia_at,
          "[ASA:Quillmark][info] Plugin ran " + kKit + " for player " + mia + mia_at,
          "[ASA:Quillmark][info] Blocked a plugin from executing Summon Raptor_Character_BP_C for "
          "player Rex Smith (0002feedfacecafebeef000000000001) at position X=1500.250 "
          "Y=-320.000 Z=12.125 on Demo, admin: false",
          "[ASA:Quillmark][warning] A plugin's command summon was blocked; to let plugins run it "
          "for players, add \"summon\" to \"plugin-commands\".\"allowed-commands\" in "
          "config.json",
          "[ASA:Quillmark][info] RCON client #1 (127.0.0.1:49152) executed ListPlayers on Demo",
          "[ASA:Quillmark][info] RCON client #1 (127.0.0.1:49152) executed quillmark.reload on "
          "Demo",
          "[ASA:Quillmark][info] config.json reloaded (asked by RCON): 3 white-list entries, 2 "
          "admin entries, 3 EOS ids, webhook on"}));
  EXPECT_EQ(play.rcon, (std::vector<std::string>{"Server received, But no response!! ",
                                                 "config.json reloaded: 3 white-list entries, 2 "
                                                 "admin entries, 3 EOS ids, webhook on"}));
  // Each player whose command was blocked is told which part was refused, braces as typed.
  EXPECT_EQ(play.server,
            (std::vector<std::string>{"to mia: Not allowed on this server: fly",
                                      "to mia: Not allowed on this server: DestroyWildDinos",
                                      "to zo\xC3\xA9: Not allowed on this server: " + kZoeSays,
                                      "to rex: Not allowed on this server: DestroyWildDinos"}));
  EXPECT_EQ(
      play.game,
      (std::vector<std::string>{
          "rex ConsoleCommand: \"GiveItemNum 121 1 0 0\"", "mia ConsoleCommand: \"fly\"",
          "mia ConsoleCommand: \"\"", "mia ConsoleCommand: \"\"", "zo\xC3\xA9 ConsoleCommand: \"\"",
          "rex ConsoleCommand: \"\"", "mia ConsoleCommand: \"EnableCheats hunter2\"",
          "mia ConsoleCommand: \"" + kKit + "\"",
          "mia   returned to the plugin: \"Command executed\"", "rex ConsoleCommand: \"\"",
          "rex   returned to the plugin: \"\""}));
  // Every embed arrives, in the order of the commands, at Discord's own limits.
  for (const json& post : Posts()) EXPECT_EQ(post["username"], "Quillmark Audit");
  std::vector<std::string> titles;
  std::vector<std::string> descriptions;
  for (const json& embed : Embeds()) {
    titles.push_back(embed["title"]);
    descriptions.push_back(embed["description"]);
  }
  const std::string allowed = ":white_check_mark: Allowed Command";
  const std::string blocked = ":x: Blocked Command";
  const std::string rcon = ":satellite: RCON Command";
  EXPECT_EQ(titles,
            (std::vector<std::string>{allowed, allowed, blocked, blocked, blocked, blocked, allowed,
                                      ":robot: Plugin Command",
                                      ":no_entry_sign: Blocked Plugin Command", rcon, rcon}));
  ASSERT_EQ(descriptions.size(), 11u);
  EXPECT_EQ(descriptions[4],
            "([Demo]\n Player: Zo\xC3\xA9 (0002c0ffee0000000000000000000042)\nExecuted: " +
                kZoeSays + "\nPosition: X=0.000 Y=0.000 Z=0.000\n");
  EXPECT_EQ(descriptions[6], "[Demo]\n Player: " + mia +
                                 "\nExecuted: EnableCheats \\*\\*\\*\nPosition: X=-12.500 Y=3.000 "
                                 "Z=1000000.000\n");
  EXPECT_EQ(descriptions[9],
            "[Demo]\nRCON client: \\#1 \\(127.0.0.1\\:49152\\)\nExecuted: ListPlayers\n");
  for (const auto& post : receiver_.Requests()) {
    EXPECT_EQ(post.body.find("hunter2"), std::string::npos);
  }
}

TEST_F(SimServerTest, AllowedPostBodyIsByteForByte) {
  WriteConfig({{"white-list", {"give"}}, {"messages", {{"sender", "Audit"}}}});
  const Play play = Run("join rex eos=E1 name=Rex pos=1,2,3\ncmd rex give 1\n", {"-serverkey=S1"});
  EXPECT_EQ(play.exit_code, 0);
  const auto posts = receiver_.Requests();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].path, "/api/webhooks/1234/token");
  EXPECT_EQ(posts[0].content_type, "application/json");
  EXPECT_EQ(posts[0].body,
            "{\n\t\t\t\"embeds\": [{\n\t\t\t\t\"title\": \":white_check_mark: Allowed Command\",\n"
            "\t\t\t\t\"description\": \"[S1]\\n Player: Rex (E1)\\nExecuted: give 1\\nPosition: "
            "X=1.000 Y=2.000 Z=3.000\\n\",\n\t\t\t\t\"color\": 65280\n\t\t\t}],\n\t\t\t"
            "\"username\": \"Audit\",\n\t\t\t\"avatar_url\": null,\n\t\t\t"
            "\"allowed_mentions\": {\"parse\": []}\n\t\t}");
}

TEST_F(SimServerTest, HostileCommandGivesValidJsonAndOneLogLine) {
  WriteConfig({{"white-list", {"say"}}});
  const std::string hostile = R"(say "}], "username": "x", "content": "@everyone" \ {0})";
  const Play play = Run("join rex eos=E1\ncmd rex " + hostile + "\n");
  ASSERT_EQ(play.log.size(), 1u);
  EXPECT_NE(play.log[0].find("executed " + hostile + " at position"), std::string::npos);
  const auto posts = Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_FALSE(posts[0].contains("content"));
  // Shown as typed: its markdown escaped for Discord.
  const std::string shown = R"(say "}\], "username"\: "x", "content"\: "\@everyone" \\ {0})";
  EXPECT_NE(posts[0]["embeds"][0]["description"].get<std::string>().find("Executed: " + shown),
            std::string::npos);
}

TEST_F(SimServerTest, MapLabelsTheServerWithoutTheOption) {
  WriteConfig({{"white-list", {"give"}}});
  const Play play = Run("join rex eos=E1\ncmd rex give\nmap Other_WP\ncmd rex give\n",
                        {"--map", "Aberration_WP"});
  ASSERT_EQ(play.log.size(), 2u);
  for (const std::string& line : play.log) {
    EXPECT_NE(line.find(" on Aberration_WP"), std::string::npos) << line;  // kept after a change
  }
}

struct StartFailure {
  const char* name;
  const char* config;  // null: no file
  const char* line;    // beginning of the one error line
};

class SimServerStartFailureTest : public SimServerTest,
                                  public ::testing::WithParamInterface<StartFailure> {};

TEST_P(SimServerStartFailureTest, OneErrorLineNoHookCommandsUntouched) {
  if (GetParam().config == nullptr) {
    folder_.RemoveConfig();
  } else {
    folder_.WriteConfig(GetParam().config);
  }
  const Play play = Run("join rex eos=E1\ncmd rex DestroyWildDinos\ncmd rex fly now\n");
  EXPECT_EQ(play.exit_code, 0);
  ASSERT_EQ(play.log.size(), 2u) << play.out;  // the error, and that nothing is policed
  EXPECT_EQ(play.log[0].rfind(std::string("[ASA:Quillmark][error] ") + GetParam().line, 0), 0u)
      << play.log[0];
  EXPECT_EQ(play.game, (std::vector<std::string>{"rex ConsoleCommand: \"DestroyWildDinos\"",
                                                 "rex ConsoleCommand: \"fly now\""}));
  EXPECT_TRUE(receiver_.Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Configs, SimServerStartFailureTest,
    ::testing::Values(StartFailure{"missing", nullptr, "Can't open config.json"},
                      StartFailure{"malformed", "{\"white-list\": [\"give\"",
                                   "[json.exception.parse_error"},
                      StartFailure{"commented", "{\n  // open to all\n  \"white-list\": []\n}",
                                   "[json.exception.parse_error"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SimServerTest, BadDirectivesAreReportedWithTheirLineAndThePlayGoesOn) {
  WriteConfig({{"white-list", {"give"}}});
  const Play play = Run("join rex eos=E1\njump rex\ncmd nobody give\n\n# note\ncmd rex give\n");
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_NE(play.err.find("quillmark-sim: line 2: unknown directive \"jump\""), std::string::npos)
      << play.err;
  EXPECT_NE(play.err.find("quillmark-sim: line 3: no player \"nobody\" has joined"),
            std::string::npos);
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"give\""});
}

TEST_F(SimServerTest, ReadsStandardInputAndWritesTheLogFile) {
  WriteConfig({{"white-list", {"give"}}});
  const auto input = folder_.Root() / "input.txt";
  std::ofstream(input) << "join rex eos=E1\r\ncmd rex give 2\r\nwait\r\n";
  const auto log = folder_.Root() / "server.log";
  const Play play = ParsePlay(RunProcess(QUILLMARK_SIM,
                                         {"--server-dir", folder_.Root().string(), "--plugin",
                                          QUILLMARK_PLUGIN, "--log", log.string()},
                                         input.string()));
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"give 2\""});
  std::ifstream file(log, std::ios::binary);
  const std::string logged((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(logged.find("[ASA:Quillmark][info] Player rex (E1) executed give 2"),
            std::string::npos);
  EXPECT_EQ(logged.substr(logged.size() - 2), "\r\n");
}

TEST_F(SimServerTest, BadOptionOrPluginExitsWithUsage) {
  const auto bad_option = RunProcess(QUILLMARK_SIM, {"--no-such-option"});
  EXPECT_EQ(bad_option.exit_code, 2);
  EXPECT_NE(bad_option.err.find("usage: quillmark-sim"), std::string::npos);
  const auto missing_value = RunProcess(QUILLMARK_SIM, {"--map"});
  EXPECT_EQ(missing_value.exit_code, 2);
  const auto bad_plugin =
      RunProcess(QUILLMARK_SIM, {"--plugin", (folder_.Root() / "none.so").string()});
  EXPECT_EQ(bad_plugin.exit_code, 2);
  EXPECT_NE(bad_plugin.err.find("cannot load plugin"), std::string::npos);
}

// Every tool answers --help and -h with its usage on standard output and exit status 0.
TEST_F(SimServerTest, ToolsAnswerHelpWithTheirUsage) {
  std::vector<std::pair<std::string, std::vector<std::string>>> asked = {
      {QUILLMARK_SIM, {"--help"}},
      {QUILLMARK_SIM, {"-h"}},
      {QUILLMARK_SIM, {"--stats", "--help"}},
      {QUILLMARK_SIM, {"check", "--help"}},
      {QUILLMARK_SIM, {"explain", "--config", "c.json", "-h"}}};
  if (!std::string(QUILLMARK_STANDIN).empty()) asked.push_back({QUILLMARK_STANDIN, {"--help"}});
  for (const auto& [program, args] : asked) {
    const auto result = RunProcess(program, args);
    EXPECT_EQ(result.exit_code, 0) << program << " " << args.back();
    EXPECT_EQ(result.out.rfind("usage: ", 0), 0u) << result.out;
    EXPECT_EQ(result.err, "");
  }
}

// The dry run takes an empty EOS id (a player may have one, and an entry may name it), and
// after "--" the command exactly as given, even one that begins with "-".
TEST_F(SimServerTest, ExplainTakesAnyIdAndAnyCommand) {
  WriteConfig(
      {{"white-list", {"-fly"}}, {"admins", {{{"eosid", {""}}, {"allowed-commands", {"ghost"}}}}}});
  const std::string config = (folder_.PluginDir() / "config.json").string();
  const auto empty_id =
      RunProcess(QUILLMARK_SIM, {"explain", "--config", config, "--eos", "", "--admin", "ghost"});
  EXPECT_EQ(empty_id.exit_code, 0) << empty_id.err;
  EXPECT_NE(empty_id.out.find("\"ghost\" is granted to the empty EOS id by /admins/0"),
            std::string::npos)
      << empty_id.out;
  const auto dash =
      RunProcess(QUILLMARK_SIM, {"explain", "--config", config, "--eos", "x", "--", "-fly", "1"});
  EXPECT_EQ(dash.exit_code, 0);
  EXPECT_NE(dash.out.find("\n  \"-fly 1\": \"-fly\" is white-listed by /white-list/0"),
            std::string::npos)
      << dash.out;
  const auto plain =
      RunProcess(QUILLMARK_SIM, {"explain", "--config", config, "--eos", "x", "--", "fly"});
  EXPECT_EQ(plain.exit_code, 1);
  EXPECT_NE(plain.out.find("\n  \"fly\": \"fly\" is not white-listed"), std::string::npos)
      << plain.out;
}

// Discord fails for a while: the game goes on, one error line says so, and every notification
// is delivered once Discord is back, in order.
TEST_F(SimServerTest, FailingWebhookIsLoggedOnceTheGameGoesOnAndNothingIsLost) {
  WriteConfig({{"white-list", {"give"}}});
  receiver_.SetFault(WebhookReceiver::Fault::kServerError, std::chrono::milliseconds(1500));
  const Play play = Run("join rex eos=E1\ncmd rex give 1\ncmd rex fly 2\nwait\ncmd rex give 3\n");
  EXPECT_EQ(play.game,
            (std::vector<std::string>{"rex ConsoleCommand: \"give 1\"", "rex ConsoleCommand: \"\"",
                                      "rex ConsoleCommand: \"give 3\""}));
  const std::string error =
      "[ASA:Quillmark][error] Error sending command to Discord. Error: 500 Internal Server Error";
  EXPECT_EQ(std::count(play.log.begin(), play.log.end(), error), 1);
  EXPECT_EQ(play.log.size(), 4u);  // three audit lines and the one error line
  EXPECT_EQ(play.err, "");         // nothing left waiting, no engine block leaked
  const auto summary = receiver_.GetSummary();
  EXPECT_EQ(summary.embeds, 3u);
  ASSERT_EQ(summary.webhooks.size(), 1u);
  EXPECT_EQ(summary.webhooks[0].numbered, 3u);
  EXPECT_EQ(summary.webhooks[0].out_of_order + summary.webhooks[0].repeated, 0u);
}

}  // namespace
