// A shop on the stand-in server: kits whose commands a plugin runs on the buyer's controller
// (plugin-cmd), some with the administrator bit raised for the call. They are handed out under
// "plugin-commands" and stay blocked without it, while what the buyer types is decided as ever;
// and a plugin's flood of commands takes the channel's share of its own, not the buyer's.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e/stand_in.h"

namespace {

using nlohmann::json;
using quillmark::testing::Play;
using quillmark::tools::WebhookReceiver;

constexpr char kMia[] = "Mia (00021f8e7d6c5b4a39281706f5e4d3c2)";
constexpr char kAt[] = " at position X=0.000 Y=0.000 Z=0.000 on Shop";
constexpr char kGun[] = "GiveItem \"Blueprint'/Game/Gun.Gun'\" 1 0 0";
constexpr char kRex[] = "SpawnDino \"Blueprint'/Game/Rex.Rex'\" 500 0 0 35";

// Mia buys a kit of two commands, the second "ExecuteAsAdmin", then types one herself.
constexpr char kShopPlay[] =
    "join mia eos=00021f8e7d6c5b4a39281706f5e4d3c2 name=Mia\n"
    "plugin-cmd mia GiveItem \"Blueprint'/Game/Gun.Gun'\" 1 0 0\n"
    "plugin-cmd mia admin SpawnDino \"Blueprint'/Game/Rex.Rex'\" 500 0 0 35\n"
    "cmd mia GiveItem \"Blueprint'/Game/Gun.Gun'\" 1 0 0\n";

class ShopTest : public quillmark::testing::StandInTest {
 protected:
  Play Shop(const json& plugin_commands) {
    json config = {{"white-list", {"suicide"}},
                   {"messages", {{"blocked", "Not allowed: {command}"}}}};
    if (!plugin_commands.is_null()) config["plugin-commands"] = plugin_commands;
    WriteConfig(config);
    Play play = Run(kShopPlay, {"-serverkey=Shop"});
    EXPECT_EQ(play.exit_code, 0);
    EXPECT_EQ(play.err, "");
    return play;
  }
  std::vector<std::string> Titles() {
    std::vector<std::string> titles;
    for (const json& embed : Embeds()) titles.push_back(embed["title"]);
    return titles;
  }
};

const std::string kTyped = std::string("[ASA:Quillmark][info] Blocked player ") + kMia +
                           " from executing " + kGun + kAt + ", admin: false";

TEST_F(ShopTest, KitsAreHandedOutUnderPluginCommands) {
  const Play play = Shop({{"allowed-commands", {"GiveItem", "spawndino"}}});
  EXPECT_EQ(
      play.log,
      (std::vector<std::string>{
          std::string("[ASA:Quillmark][info] Plugin ran ") + kGun + " for player " + kMia + kAt,
          std::string("[ASA:Quillmark][info] Plugin ran ") + kRex + " for player " + kMia + kAt,
          kTyped}));
  // The plugin reads the game's output; the buyer is told only of her own command.
  EXPECT_EQ(play.game,
            (std::vector<std::string>{"mia ConsoleCommand: \"" + std::string(kGun) + "\"",
                                      "mia   returned to the plugin: \"Command executed\"",
                                      "mia ConsoleCommand: \"" + std::string(kRex) + "\"",
                                      "mia   returned to the plugin: \"Command executed\"",
                                      "mia ConsoleCommand: \"\""}));
  EXPECT_EQ(play.server, (std::vector<std::string>{"to mia: Not allowed: " + std::string(kGun)}));
  EXPECT_EQ(Titles(), (std::vector<std::string>{":robot: Plugin Command", ":robot: Plugin Command",
                                                ":x: Blocked Command"}));
}

TEST_F(ShopTest, KitsStayBlockedWithoutAndTheOperatorIsToldWhatToAdd) {
  const Play play = Shop(json());
  const auto warned = [](const std::string& word) {
    return "[ASA:Quillmark][warning] A plugin's command " + word +
           " was blocked; to let plugins run it for players, add \"" + word +
           "\" to \"plugin-commands\".\"allowed-commands\" in config.json";
  };
  EXPECT_EQ(play.log, (std::vector<std::string>{
                          std::string("[ASA:Quillmark][info] Blocked a plugin from executing ") +
                              kGun + " for player " + kMia + kAt + ", admin: false",
                          warned("giveitem"),
                          std::string("[ASA:Quillmark][info] Blocked a plugin from executing ") +
                              kRex + " for player " + kMia + kAt + ", admin: true",
                          warned("spawndino"), kTyped}));
  EXPECT_EQ(play.game, (std::vector<std::string>{
                           "mia ConsoleCommand: \"\"", "mia   returned to the plugin: \"\"",
                           "mia ConsoleCommand: \"\"", "mia   returned to the plugin: \"\"",
                           "mia ConsoleCommand: \"\""}));
  EXPECT_EQ(play.server, (std::vector<std::string>{"to mia: Not allowed: " + std::string(kGun)}));
  EXPECT_EQ(Titles(), (std::vector<std::string>{":no_entry_sign: Blocked Plugin Command",
                                                ":no_entry_sign: Blocked Plugin Command",
                                                ":x: Blocked Command"}));
}

// While the channel is down, a plugin's hundred commands for Rex fill the queue; Rex's own
// command, after them, still takes the place of the plugin's newest, and the channel later sums
// up what it does not show as the plugin's.
TEST_F(ShopTest, APluginsFloodTakesItsOwnShareNotThePlayers) {
  WriteConfig({{"white-list", {"say"}},
               {"discord", {{"queue-limit", 20}, {"posts-per-minute", 30 * kTimeScale}}}});
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer, std::chrono::milliseconds(1000));
  const Play play =
      Run("join rex eos=E1 name=Rex\nrepeat 100 plugin-cmd rex say {n}\ncmd rex say 500\n"
          "sleep 3\n");
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  const std::vector<std::string> shown = SaidInEmbeds();
  std::vector<std::string> expected;
  for (int n = 1; n <= 19; ++n) expected.push_back(std::to_string(n));
  ASSERT_EQ(shown.size(), 21u);
  EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 19), expected);
  EXPECT_EQ(shown[19].rfind("81 more commands of a plugin for Rex not shown here between ", 0), 0u)
      << shown[19];
  EXPECT_EQ(shown[20], "500");
}

}  // namespace
