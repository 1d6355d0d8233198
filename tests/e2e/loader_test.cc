// The stand-in server's loader held to the framework's: the order in which a plugin is started
// and unloaded, a refused attach, PluginInfo.json, unloading the plugin from a player's console
// while its own handler is running, which must neither crash the server nor leave the plugin
// unable to start again, the framework's automatic reload of an updated library, and a server
// that shuts down without unloading the plugin.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e/stand_in.h"
#include "support/journal_files.h"

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

  // The plugin's library in its folder, where the framework loads it from and looks for its
  // update, and the framework's settings turning the automatic reload on, every second.
  std::filesystem::path InstallInFolder() {
    const auto library = folder_.PluginDir() / std::filesystem::path(QUILLMARK_PLUGIN).filename();
    std::filesystem::copy_file(QUILLMARK_PLUGIN, library);
    std::ofstream(folder_.Root() / "config.json")
        << R"({"settings": {"AutomaticPluginReloading": true, "AutomaticPluginReloadSeconds": 1}})";
    return library;
  }
  // A file for the operator to put beside the plugin: the library with `mark` after its end,
  // which the loader ignores, so that the library in place tells which file it came from.
  std::string UpdateFile(const std::string& mark) {
    const auto update = folder_.Root() / ("update-" + mark);
    std::filesystem::copy_file(QUILLMARK_PLUGIN, update);
    std::ofstream(update, std::ios::binary | std::ios::app) << mark;
    return update.string();
  }
  static std::string Tail(const std::filesystem::path& file, std::size_t size) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.substr(bytes.size() < size ? 0 : bytes.size() - size);
  }
  static long Count(const std::vector<std::string>& lines, const std::string& text) {
    return std::count_if(lines.begin(), lines.end(), [&text](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
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
  // the saved entry to null), and the plugin leaves the list only once its library is freed; the
  // callback of the request made before the unload never runs.
  EXPECT_EQ(play.other,
            (std::vector<std::string>{
                "init: hooks=1", "console command ran, ticks seen", "unload: hooks=1 pending=1",
                "detach: hooks=0 original=null remove-hook=false remove-command=false pending=0 "
                "listed=true",
                "init: hooks=1", "request callback ran", "unload: hooks=1 pending=0",
                "detach: hooks=0 original=null remove-hook=false remove-command=false pending=0 "
                "listed=true"}));
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
  WriteConfig({{"discordwh", ""}, {"white-list", nlohmann::json::array()}});
  const auto info = folder_.PluginDir() / "PluginInfo.json";
  std::ofstream(info) << R"({"Version": "one"})";
  const Play refused = Run("join rex eos=E1\ncmd rex fly\n");
  EXPECT_EQ(refused.framework,
            (std::vector<std::string>{
                "[API][warning] (API::PluginManager::ReadPluginInfo) "
                "[json.exception.type_error.302] type must be number, but is string",
                "[API][warning] (API::PluginManager::LoadAllPlugins) "
                "[json.exception.type_error.302] type must be number, but is null"}));
  EXPECT_EQ(refused.game, std::vector<std::string>{"rex ConsoleCommand: \"fly\""});

  // A PreventUnloading of the wrong type is only warned about: the plugin loads, unloadable.
  std::ofstream(info, std::ios::trunc) << R"({"PreventUnloading": "true"})";
  const Play unloadable = Run("join rex eos=E1\ncmd rex fly\nrcon plugins.unload quillmark\n");
  EXPECT_EQ(unloadable.framework,
            (std::vector<std::string>{"[API][warning] (API::PluginManager::ReadPluginInfo) "
                                      "[json.exception.type_error.302] type must be boolean, but "
                                      "is string",
                                      "[API][info] Loaded plugin quillmark V1 (No description)",
                                      "[API][info] Unloaded plugin - quillmark"}));
  EXPECT_EQ(unloadable.game, std::vector<std::string>{"rex ConsoleCommand: \"\""});

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

// The operator puts a new build beside the plugin; the framework's timer unloads the plugin, puts
// the file in place and loads it. The unload comes from the timer, not from the plugin's own
// code, so nothing may keep the old library mapped: Windows refuses to overwrite a mapped image,
// and the plugin would stay unloaded, every command unpoliced, until the server restarts.
TEST_F(LoaderTest, AnUpdateByFileIsPutInPlaceAndPolicesTheNextCommand) {
  WriteConfig({{"discordwh", ""}, {"white-list", {"give"}}});
  const auto library = InstallInFolder();
  const std::string update = UpdateFile("second-build");
  const Play play = Run("join rex eos=E2\ncmd rex fly\nupdate \"" + update +
                            "\"\nsleep 3\ncmd rex fly\ncmd rex give 1\n",
                        {}, "");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.err, "");
  EXPECT_EQ(play.framework,
            (std::vector<std::string>{"[API][info] Loaded plugin quillmark V1 (No description)",
                                      "[API][info] Saving world before reloading plugins",
                                      "[API][info] World saved.",
                                      "[API][info] Reloaded plugin - quillmark"}));
  EXPECT_EQ(Tail(library, 12), "second-build");
  EXPECT_FALSE(std::filesystem::exists(library.string() + ".ArkApi"));
  // Policed before and after: the new library started and decides the next command.
  EXPECT_EQ(play.game,
            (std::vector<std::string>{"rex ConsoleCommand: \"\"", "rex ConsoleCommand: \"\"",
                                      "rex ConsoleCommand: \"give 1\""}));
  EXPECT_EQ(Count(play.log, "Blocked player rex (E2) from executing fly"), 2);
  ASSERT_EQ(play.operation.size(), 1u);
  EXPECT_NE(play.operation[0].find(" put beside the plugin as " + library.filename().string() +
                                   ".ArkApi"),
            std::string::npos)
      << play.operation[0];
}

// What the framework does when the reload cannot go through: a plugin that prevents unloading
// is skipped with one warning and keeps running; an update that does not load leaves the plugin
// unloaded with a warning, and is not tried again.
TEST_F(LoaderTest, AnUpdateThatCannotGoThroughIsSaidOnceAndNotTriedAgain) {
  WriteConfig({{"discordwh", ""}, {"white-list", {"give"}}});
  const auto library = InstallInFolder();
  std::ofstream(folder_.PluginDir() / "PluginInfo.json") << R"({"PreventUnloading": true})";
  const std::string script = "join rex eos=E2\nupdate\nsleep 2.5\ncmd rex fly\n";
  const Play kept = Run(script, {}, "");
  EXPECT_EQ(kept.framework, (std::vector<std::string>{
                                "[API][info] Loaded plugin quillmark V1 (No description)",
                                "[API][warning] Plugin 'quillmark' has PreventUnloading=true. "
                                "Update pending - restart the server to apply " +
                                    library.filename().string() + ".ArkApi."}));
  EXPECT_EQ(kept.game, std::vector<std::string>{"rex ConsoleCommand: \"\""});

  std::filesystem::remove(folder_.PluginDir() / "PluginInfo.json");
  std::filesystem::remove(library.string() + ".ArkApi");
  const auto broken = folder_.Root() / "broken";
  std::ofstream(broken) << "not a library";
  const Play failed = Run("join rex eos=E2\nupdate " + broken.string() + "\nsleep 2.5\n" +
                              "update\nsleep 2.5\ncmd rex fly\n",
                          {}, "");
  ASSERT_EQ(failed.framework.size(), 4u) << failed.out;
  EXPECT_EQ(failed.framework[3].rfind("[API][warning] (API::PluginManager::DetectPluginChanges) "
                                      "Failed to load plugin - quillmark\nError code: ",
                                      0),
            0u)
      << failed.framework[3];
  EXPECT_EQ(failed.game, std::vector<std::string>{"rex ConsoleCommand: \"fly\""});
}

// Over RCON, the framework runs plugins.unload from a loop over a copy of its RCON commands,
// which holds the plugin's own reload command. Before config.json loads no detour of the plugin
// is on the stack, so its library goes at once: the copy must not be left holding its code.
TEST_F(LoaderTest, AnUnloadOverRconBeforeAConfigurationLoadsLeavesNothingOfTheLibrary) {
  folder_.RemoveConfig();
  const Play play =
      Run("rcon plugins.unload quillmark\nrcon plugins.load quillmark\nrcon quillmark.reload\n"
          "rcon plugins.unload quillmark\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.rcon, (std::vector<std::string>{
                           "Successfully unloaded plugin", "Successfully loaded plugin",
                           "config.json was not loaded; console commands are still not policed: "
                           "Can't open config.json",
                           "Successfully unloaded plugin"}));
}

// A real server never unloads its plugins when it stops: the plugin is told only of the
// process's end, and says under it, without waiting, what the channel was not shown. By the
// directive, which ends the play there, and by --shutdown at the end of the play.
TEST_F(LoaderTest, AShutdownUnloadsNothingAndCountsWhatWasNotDelivered) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  WriteConfig({{"white-list", {"give"}}});
  const std::string commands = "join rex eos=E2\ncmd rex give 1\ncmd rex fly\ncmd rex give 2\n";
  for (const bool by_option : {false, true}) {
    const Play play =
        by_option ? Run(commands, {"--shutdown"}) : Run(commands + "shutdown\ncmd rex give 3\n");
    EXPECT_EQ(play.exit_code, 0) << play.err;
    EXPECT_EQ(play.game.size(), 3u);  // nothing after the shutdown is played
    EXPECT_EQ(play.framework,
              std::vector<std::string>{"[API][info] Loaded plugin quillmark V1 (No description)"});
    ASSERT_FALSE(play.log.empty());
    EXPECT_EQ(play.log.back(),
              "[ASA:Quillmark][error] Discord delivery stopped with the server, which unloads no "
              "plugin when it shuts down: 3 notifications not delivered; the server log has their "
              "commands");
    EXPECT_EQ(play.err.rfind("quillmark-sim: the server shut down without unloading the plugin", 0),
              0u)
        << play.err;
    receiver_.ReleaseHeld();
  }
}

// A server killed in the middle of a play (a crash, a kill, the power cut with the disk kept):
// every command decided before it is in the journal, the last record whole, and the next start
// chains on from it. The framework's log is no such record: it rotates and is deleted after a
// day.
TEST_F(LoaderTest, AKilledServerLosesNoRecordAndTheNextStartChainsOn) {
  WriteConfig({{"discordwh", ""}, {"white-list", {"give"}}});
  const Play killed =
      Run("join rex eos=E2\ncmd rex give 1\ncmd rex fly\nrcon listplayers\ncrash\ncmd rex give 2\n",
          {"-serverkey=Demo"}, "");
  EXPECT_EQ(killed.exit_code, 9) << killed.err;
  const auto folder = folder_.PluginDir() / "journal" / "Demo";
  const auto Summary = [&folder] {
    std::vector<std::string> summary;
    for (const std::string& line : quillmark::testing::JournalLines(folder)) {
      const auto record = nlohmann::json::parse(line);
      summary.push_back(record.contains("event") ? record["event"].get<std::string>()
                                                 : record["command"].get<std::string>());
    }
    return summary;
  };
  EXPECT_EQ(Summary(), (std::vector<std::string>{"start", "give 1", "fly", "listplayers"}));
  const std::string bytes =
      quillmark::testing::FileBytes(quillmark::testing::DayFiles(folder).back());
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.back(), '\n');

  const Play again = Run("join rex eos=E2\ncmd rex give 3\n", {"-serverkey=Demo"});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(Summary(), (std::vector<std::string>{"start", "give 1", "fly", "listplayers", "start",
                                                 "give 3", "stop"}));
  EXPECT_EQ(quillmark::testing::ChainBreak(quillmark::testing::JournalLines(folder)), "");
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
