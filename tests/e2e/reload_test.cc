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

}  // namespace
