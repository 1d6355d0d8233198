// The stand-in server's loader held to the framework's: the order in which a plugin is started
// and unloaded, a refused attach, PluginInfo.json, and unloading the plugin from a player's
// console while its own handler is running, which must neither crash the server nor leave the
// plugin unable to start again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "e2e/stand_in.h"

namespace {

using quillmark::testing::Play;
using quillmark::testing::SetEnvironment;
using quillmark::tools::WebhookReceiver;

class LoaderTest : public quillmark::testing::StandInTest {
 protected:
  void TearDown() override {
    SetEnvironment("QUILLMARK_PROBE_URL", "");
    SetEnvironment("QUILLMARK_PROBE_REFUSE", "");
    receiver_.ReleaseHeld();
  }
  Play RunProbe(const std::string& script) {
    return Run(script, {}, QUILLMARK_PROBE_PLUGIN, "[probe] ");
  }
};

TEST_F(LoaderTest, StartsAndUnloadsInTheFrameworksOrder) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  SetEnvironment("QUILLMARK_PROBE_URL", receiver_.Url());
  const Play play = RunProbe(
      "join rex eos=E1\ncmd rex probe now\nrcon plugins.unload quillmark\n"
      "rcon plugins.load quillmark\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  // Plugin_Unload runs first, with everything still in place; by the detach the framework has
  // dropped the pending request's callback, taken the command away and the hook off (setting
  // the saved entry to null); the callback of the request made before the unload never runs.
  EXPECT_EQ(play.other,
            (std::vector<std::string>{
                "init: hooks=1", "console command ran, ticks seen", "unload: hooks=1 pending=1",
                "detach: hooks=0 original=null remove-hook=false remove-command=false pending=0",
                "init: hooks=1", "request callback ran", "unload: hooks=1 pending=0",
                "detach: hooks=0 original=null remove-hook=false remove-command=false pending=0"}));
  EXPECT_EQ(play.rcon, (std::vector<std::string>{"Successfully unloaded plugin",
                                                 "Successfully loaded plugin"}));
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"\""});  // the probe's own
}

TEST_F(LoaderTest, AnAttachRefusedByDllMainFailsTheLoadAndTheServerGoesOn) {
  SetEnvironment("QUILLMARK_PROBE_REFUSE", "1");
  const Play play = RunProbe("join rex eos=E1\ncmd rex fly\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  ASSERT_FALSE(play.other.empty());
  EXPECT_EQ(play.other[0], "attach refused");
  EXPECT_EQ(play.other.size(), 2u);  // the loader tells of the detach and unloads it
  EXPECT_EQ(play.framework,
            std::vector<std::string>{"[API][warning] (API::PluginManager::LoadAllPlugins) Failed "
                                     "to load plugin - quillmark\nError code: 1114"});
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"fly\""});
}

TEST_F(LoaderTest, PluginInfoIsReadAsTheFrameworkReadsIt) {
  WriteConfig({{"white-list", nlohmann::json::array()}});
  const auto info = folder_.PluginDir() / "PluginInfo.json";
  std::ofstream(info) << R"({"Version": "one"})";
  const Play refused = Run("join rex eos=E1\ncmd rex fly\n");
  ASSERT_EQ(refused.framework.size(), 1u);
  EXPECT_NE(refused.framework[0].find("[json.exception.type_error.302]"), std::string::npos);
  EXPECT_EQ(refused.game, std::vector<std::string>{"rex ConsoleCommand: \"fly\""});

  std::ofstream(info) << R"({"FullName": "Quillmark", "Version": 2, "PreventUnloading": true})";
  const Play kept = Run("rcon plugins.unload quillmark\n");
  EXPECT_EQ(kept.framework.front(), "[API][info] Loaded plugin Quillmark V2 (No description)");
  EXPECT_EQ(kept.rcon, std::vector<std::string>{"Failed to unload plugin - unloading is disabled "
                                                "(PreventUnloading=true)"});
  // The server's end leaves it loaded too, holding what a loaded plugin holds: no leak.
  EXPECT_EQ(kept.err.rfind("quillmark-sim: the plugin stays loaded at the end: unloading is "
                           "disabled (PreventUnloading=true); the ",
                           0),
            0u)
      << kept.err;
  EXPECT_EQ(kept.err.find("not given back"), std::string::npos);

  // The one the release package holds.
  std::ofstream(info, std::ios::binary | std::ios::trunc)
      << std::ifstream(QUILLMARK_PLUGIN_INFO, std::ios::binary).rdbuf();
  const Play released = Run("");
  ASSERT_FALSE(released.framework.empty());
  EXPECT_EQ(
      released.framework.front().rfind("[API][info] Loaded plugin quillmark V0.1 (Audits ", 0), 0u)
      << released.framework.front();
}

// A player granted "plugins.unload" unloads the plugin from inside its own handler; the handler
// must come back to a library that is still there.
TEST_F(LoaderTest, UnloadFromAPlayersConsoleInsideTheHandlerAndLoadAgain) {
  WriteConfig({{"discordwh", ""},
               {"admins",
                {{{"eosid", {"E1"}}, {"allowed-commands", {"plugins.unload", "plugins.load"}}}}}});
  const Play play =
      Run("join ada eos=E1 admin\njoin rex eos=E2\n"
          "cmd rex plugins.unload quillmark\n"
          "cmd ada plugins.unload quillmark\n"
          "cmd rex fly\n"
          "cmd ada plugins.load quillmark\n"
          "cmd rex fly\n"
          // The reference kept across the unload is given back a few seconds later; the library
          // is then freed and a load maps it afresh.
          "rcon plugins.unload quillmark\n"
          "sleep 6\n"
          "rcon plugins.load quillmark\n"
          "cmd rex fly\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.err, "");
  EXPECT_EQ(play.server, (std::vector<std::string>{"to ada: Successfully unloaded plugin",
                                                   "to ada: Successfully loaded plugin"}));
  EXPECT_EQ(play.game, (std::vector<std::string>{
                           "rex ConsoleCommand: \"\"",     // not granted: blocked, nothing unloaded
                           "ada ConsoleCommand: \"\"",     // ran by the framework, then emptied
                           "rex ConsoleCommand: \"fly\"",  // unpoliced while unloaded
                           "ada ConsoleCommand: \"\"", "rex ConsoleCommand: \"\"",
                           "rex ConsoleCommand: \"\""}));
  EXPECT_EQ(play.rcon, (std::vector<std::string>{"Successfully unloaded plugin",
                                                 "Successfully loaded plugin"}));
  ASSERT_EQ(play.log.size(), 5u);
  EXPECT_EQ(play.log[0].rfind("[ASA:Quillmark][info] Blocked player rex (E2) from executing "
                              "plugins.unload quillmark",
                              0),
            0u);
  EXPECT_EQ(play.log[1].rfind("[ASA:Quillmark][info] Player ada (E1) executed plugins.unload", 0),
            0u);
  EXPECT_EQ(
      play.log[2].rfind("[ASA:Quillmark][info] Blocked player rex (E2) from executing fly", 0), 0u);
  // Over RCON the unload is audited first; the load comes while no plugin is there to audit it.
  EXPECT_EQ(play.log[3],
            "[ASA:Quillmark][info] RCON client #1 (127.0.0.1:49152) executed plugins.unload "
            "quillmark on TheIsland_WP");
  EXPECT_EQ(play.log[4], play.log[2]);
  EXPECT_EQ(
      play.framework,
      (std::vector<std::string>{
          "[API][info] Loaded plugin quillmark V1 (No description)",
          "[API][info] Unloaded plugin - quillmark", "[API][info] Loaded plugin - quillmark",
          "[API][info] Unloaded plugin - quillmark", "[API][info] Loaded plugin - quillmark"}));
}

// A plugin loaded after this one runs in front of it and may keep commands to itself: this
// plugin's record then holds nothing of them, neither a line nor an embed.
TEST_F(LoaderTest, APluginLoadedLaterCanHideCommandsFromTheRecord) {
  WriteConfig({{"white-list", {"give"}}});
  const std::filesystem::path front(QUILLMARK_FRONT_PLUGIN);
  const auto dir = folder_.Root() / "ArkApi" / "Plugins" / "front";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(front, dir / front.filename());
  const Play play =
      Run("join rex eos=E1\nrcon plugins.load front\ncmd rex give 1\ncmd rex hidden give 2\n"
          "rcon hiddenlist\nrcon listplayers\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"give 1\""});
  ASSERT_EQ(play.log.size(), 3u);
  EXPECT_NE(play.log[0].find("executed plugins.load front"), std::string::npos) << play.log[0];
  EXPECT_NE(play.log[1].find("Player rex (E1) executed give 1"), std::string::npos) << play.log[1];
  EXPECT_NE(play.log[2].find("executed listplayers"), std::string::npos) << play.log[2];
  EXPECT_EQ(Embeds().size(), 3u);
}

}  // namespace
