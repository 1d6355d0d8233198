// Reloading config.json while the server runs: by a granted player's console and by RCON, the
// new rules deciding the very next command, a broken file changing nothing, and a player without
// the grant refused and audited.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "e2e/stand_in.h"

namespace {

using nlohmann::json;
using quillmark::testing::Play;

constexpr char kMia[] = "00021f8e7d6c5b4a39281706f5e4d3c2";
constexpr char kRex[] = "0002feedfacecafebeef000000000001";

class ReloadTest : public quillmark::testing::StandInTest {
 protected:
  // A configuration file beside config.json, for the play to put in its place.
  std::string Beside(const std::string& name, const std::string& bytes) {
    const auto path = folder_.Root() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string Beside(const std::string& name, json config) {
    config["discordwh"] = receiver_.Url();
    return Beside(name, config.dump());
  }

  static bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&text](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  }
};

TEST_F(ReloadTest, ByConsoleAndRconTheNextCommandMeetsTheNewRules) {
  WriteConfig({{"white-list", {"give"}},
               {"admins", {{{"eosid", {kMia}}, {"allowed-commands", {"quillmark.reload"}}}}}});
  const std::string ghost_granted = Beside(
      "ghost.json",
      json{{"white-list", {"give", "suicide"}},
           {"admins", {{{"eosid", {kMia}}, {"allowed-commands", {"ghost", "quillmark.reload"}}}}}});
  const std::string broken =
      Beside("broken.json", std::string("{\n  \"white-list\": [\"give\",\n"));
  const std::string nothing_granted = Beside("none.json", json{{"white-list", json::array()}});

  const Play play = Run(std::string("join mia eos=") + kMia + " name=Mia admin\n" +
                        "join rex eos=" + kRex + " name=Rex\n" +
                        "cmd mia ghost\n"
                        "cmd rex quillmark.reload\n"
                        "config " +
                        ghost_granted + "\n" +
                        "cmd rex Quillmark.Reload\n"
                        "cmd mia quillmark.reload\n"
                        "cmd mia ghost\n"
                        "cmd rex suicide\n"
                        "config " +
                        broken + "\n" +
                        "rcon quillmark.reload\n"
                        "cmd mia ghost\n"
                        "config " +
                        nothing_granted + "\n" +
                        "rcon quillmark.reload\n"
                        "cmd mia ghost\n"
                        "cmd rex give 1\n");
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  EXPECT_EQ(play.operation.size(), 3U);

  // What the game ran: the reloads never reach it; each ghost as the rules then in force say.
  EXPECT_EQ(play.game,
            (std::vector<std::string>{
                "mia ConsoleCommand: \"\"", "rex ConsoleCommand: \"\"", "rex ConsoleCommand: \"\"",
                "mia ConsoleCommand: \"\"", "mia ConsoleCommand: \"ghost\"",
                "rex ConsoleCommand: \"suicide\"", "mia ConsoleCommand: \"ghost\"",
                "mia ConsoleCommand: \"\"", "rex ConsoleCommand: \"\""}));
  // Rex has no grant: both his attempts are refused and audited, and nothing was reloaded.
  EXPECT_TRUE(Has(
      play.log, std::string("Blocked player Rex (") + kRex + ") from executing quillmark.reload"));
  EXPECT_TRUE(Has(
      play.log, std::string("Blocked player Rex (") + kRex + ") from executing Quillmark.Reload"));
  EXPECT_TRUE(Has(play.log, std::string("Player Mia (") + kMia + ") executed quillmark.reload"));
  EXPECT_EQ(play.server,
            (std::vector<std::string>{"to mia: config.json reloaded: 2 white-list entries, 1 admin "
                                      "entries, 1 EOS ids, webhook on"}));
  ASSERT_EQ(play.rcon.size(), 2U);
  EXPECT_EQ(play.rcon[0].rfind("config.json was not reloaded; the rules in force are unchanged: "
                               "[json.exception.parse_error.101] parse error at line 3, column 1",
                               0),
            0U)
      << play.rcon[0];
  EXPECT_EQ(play.rcon[1],
            "config.json reloaded: 0 white-list entries, 0 admin entries, 0 EOS ids, webhook on");
  // One line per reload, naming who asked; the broken file's as an error with its place.
  EXPECT_TRUE(Has(play.log, std::string("[info] config.json reloaded (asked by the player ") +
                                kMia + "): 2 white-list entries"));
  EXPECT_TRUE(Has(play.log,
                  "[error] config.json was not reloaded (asked by RCON); the rules in "
                  "force are unchanged: [json.exception.parse_error.101] parse error at "
                  "line 3, column 1"));
  EXPECT_TRUE(Has(play.log, "[info] config.json reloaded (asked by RCON): 0 white-list entries"));
  for (const auto& line : play.log) {
    EXPECT_EQ(line.find(receiver_.Url()), std::string::npos) << line;
  }
  // Every command of the play reached the channel, reloads included: nine from the console, and
  // the two RCON reloads, each audited before it ran.
  EXPECT_EQ(Embeds().size(), 11U);
  EXPECT_EQ(std::count_if(play.log.begin(), play.log.end(),
                          [](const std::string& line) {
                            return line ==
                                   "[ASA:Quillmark][info] RCON client #1 (127.0.0.1:49152) "
                                   "executed quillmark.reload on TheIsland_WP";
                          }),
            2);
}

// Without a configuration at start-up nothing is policed; a reload over RCON that loads the
// mended file puts it to work. A file the operator cannot put in place leaves config.json as it
// was (here: still missing).
TEST_F(ReloadTest, AStartWithoutAConfigurationWaitsForAReloadOverRcon) {
  folder_.RemoveConfig();
  const std::string mended = Beside("mended.json", json{{"white-list", {"give"}}});
  const std::string missing = (folder_.Root() / "missing.json").string();
  const Play play = Run(std::string("join rex eos=") + kRex + " name=Rex\n" +
                        "cmd rex DestroyWildDinos\n"
                        "config " +
                        missing + "\nrcon quillmark.reload\nconfig " + mended +
                        "\nrcon quillmark.reload\n"
                        "cmd rex DestroyWildDinos\n"
                        "cmd rex give 1\n");
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_NE(play.err.find("line 3: cannot read " + missing + ": config.json is left as it was"),
            std::string::npos)
      << play.err;
  EXPECT_EQ(play.game, (std::vector<std::string>{"rex ConsoleCommand: \"DestroyWildDinos\"",
                                                 "rex ConsoleCommand: \"\"",
                                                 "rex ConsoleCommand: \"give 1\""}));
  EXPECT_EQ(play.rcon,
            (std::vector<std::string>{
                "config.json was not loaded; console commands are still not policed: Can't "
                "open config.json",
                "config.json loaded, and console commands are policed from now on: 1 white-list "
                "entries, 0 admin entries, 0 EOS ids, webhook on"}));
  EXPECT_TRUE(Has(play.log, "[error] Console commands reach the game unpoliced and unaudited"));
  EXPECT_TRUE(Has(play.log, "Blocked player Rex"));
  EXPECT_EQ(Embeds().size(), 2U);  // the commands after the reload
}

// A file that does not parse is reported at its place, the same in every message, and no
// message shows the token of a webhook that the file holds, whichever key holds it.
TEST_F(ReloadTest, AFileThatDoesNotParseIsPlacedRightAndShowsNoToken) {
  const std::string secret = "https://discord.com/api/webhooks/77/s3cr3t-T0ken";
  // The same URL with JSON escapes, as the file may write it.
  const std::string escaped = "https\\u003a//discord.com/api/\\u0077ebhooks/77/s3cr3t-T0ken\\u0041";
  folder_.WriteConfig("{\"white-list\": [],\n \"old\": \"" + escaped + "\\q\"}");
  const std::string broken = Beside("broken.json", "{\n \"discordwh\": \"" + secret + "\n\"}");
  const std::string mended = Beside("mended.json", json{{"white-list", {"give"}}});
  const Play play = Run("config " + mended + "\nrcon quillmark.reload\nconfig " + broken +
                        "\nrcon quillmark.reload\n");
  EXPECT_EQ(play.out.find("s3cr3t"), std::string::npos) << play.out;
  EXPECT_EQ(play.err.find("s3cr3t"), std::string::npos) << play.err;
  // At start-up: the "q" after a backslash, line 2.
  ASSERT_FALSE(play.log.empty());
  EXPECT_NE(play.log[0].find("parse error at line 2, column 75: "), std::string::npos)
      << play.log[0];
  ASSERT_EQ(play.rcon.size(), 2U);
  // At the reload: the line break inside the text, at its own place, not "column 0" of line 3.
  EXPECT_EQ(play.rcon[1].rfind("config.json was not reloaded; the rules in force are unchanged: "
                               "[json.exception.parse_error.101] parse error at line 2, column "
                               "64: ",
                               0),
            0U)
      << play.rcon[1];
  EXPECT_NE(play.rcon[1].find("webhooks/77/****"), std::string::npos) << play.rcon[1];
  EXPECT_NE(play.log[0].find("\\u0077ebhooks/77/****"), std::string::npos) << play.log[0];
  EXPECT_TRUE(Has(play.log,
                  "(asked by RCON); the rules in force are unchanged: "
                  "[json.exception.parse_error.101] parse error at line 2, column 64: "));
}

}  // namespace
