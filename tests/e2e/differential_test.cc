// The plugin built for Linux on the simulated host, and the plugin DLL to deploy (the Microsoft
// ABI) loaded under Wine by the framework stand-in, play the same scripts: the example play and
// generated ones (players with names in many scripts, configurations of every shape, chained,
// quoted, commented, non-ASCII and hostile commands, the administrator bit toggled, reloads).
// The audit lines, what the game received and ran, the server messages and RCON replies, the
// framework's lines, the embeds Discord received and the journal's records (but their times and
// chain hashes; each journal's chain must hold) must be the same. Run by the test command
// after the Windows build, with QUILLMARK_WINDOWS_SIM naming its quillmark-sim.exe; Wine must be
// set up (WINEPREFIX) as the test command sets it up.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/stand_in.h"
#include "support/config_generator.h"
#include "support/journal_files.h"

namespace quillmark::testing {
namespace {

// What a play shows an operator, as compared between the two servers.
struct Outcome {
  int exit_code = -1;
  std::vector<std::string> log, framework, game, server, rcon;
  std::vector<nlohmann::json> embeds;
  std::vector<std::string> journal;  // every label folder's lines, without time and prev
  std::string err;
};

bool operator==(const Outcome& a, const Outcome& b) {
  return a.exit_code == b.exit_code && a.log == b.log && a.framework == b.framework &&
         a.game == b.game && a.server == b.server && a.rcon == b.rcon && a.embeds == b.embeds &&
         a.journal == b.journal && a.err == b.err;
}

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << "exit " << o.exit_code << "\n";
  for (const auto* lines : {&o.log, &o.framework, &o.game, &o.server, &o.rcon}) {
    for (const std::string& line : *lines) *out << "  " << line << "\n";
  }
  for (const nlohmann::json& embed : o.embeds) *out << "  embed " << embed.dump() << "\n";
  for (const std::string& line : o.journal) *out << "  journal " << line << "\n";
  *out << "stderr: " << o.err;
}

// One server: the program, how its arguments name a file of the server folder, and where it
// takes the plugin from.
struct Server {
  std::vector<std::string> command;  // the program, and what comes before its options
  std::string (*path)(const std::filesystem::path&);
  std::filesystem::path plugin;  // copied into the plugin's folder, where the framework looks
  bool under_wine = false;       // then a run Wine failed to start is made once more
};

std::string LinuxPath(const std::filesystem::path& path) { return path.string(); }
// Wine shows the build machine's root as drive Z:.
std::string WindowsPath(const std::filesystem::path& path) { return "Z:" + path.string(); }

class DifferentialTest : public StandInTest {
 protected:
  void SetUp() override {
    const char* windows_sim = std::getenv("QUILLMARK_WINDOWS_SIM");
    ASSERT_NE(windows_sim, nullptr) << "QUILLMARK_WINDOWS_SIM names the Windows build's "
                                       "quillmark-sim.exe (the test command sets it)";
    linux_ = {{QUILLMARK_SIM}, &LinuxPath, QUILLMARK_PLUGIN};
    const std::filesystem::path exe = windows_sim;
    windows_ = {{"wine", exe.string()}, &WindowsPath, exe.parent_path() / "quillmark.dll", true};
  }

  // Plays `script` on `server` with `config` in place; "{dir}" in the script is the server
  // folder as the server names files.
  static Outcome RunOn(const Server& server, const nlohmann::json& config, std::string script,
                       const std::vector<std::pair<std::string, nlohmann::json>>& files) {
    ServerFolder folder;
    WebhookReceiver receiver(Scaled());
    // Every configuration posts to the stand-in, paced to its shrunk time.
    const auto with_webhook = [&receiver](nlohmann::json file) {
      if (file.is_object()) {
        file["discordwh"] = receiver.Url();
        file["discord"] = {{"posts-per-minute", 30 * kTimeScale}};
      }
      return file.dump();
    };
    folder.WriteConfig(with_webhook(config));
    for (const auto& [name, file] : files) {
      std::ofstream(folder.Root() / name, std::ios::binary) << with_webhook(file);
    }
    const std::string dir = server.path(folder.Root());
    for (auto at = script.find("{dir}"); at != std::string::npos; at = script.find("{dir}", at)) {
      script.replace(at, 5, dir);
    }
    std::filesystem::copy_file(server.plugin, folder.PluginDir() / server.plugin.filename());
    const auto script_path = folder.Root() / "play.txt";
    std::ofstream(script_path, std::ios::binary) << script;
    std::vector<std::string> args(server.command.begin() + 1, server.command.end());
    for (const std::string& arg : {std::string("--server-dir"), dir, std::string("--script"),
                                   server.path(script_path), std::string("-serverkey=Diff")}) {
      args.push_back(arg);
    }
    ProcessResult result = RunProcess(server.command[0], args);
    if (server.under_wine && WineDidNotStart(result)) result = RunProcess(server.command[0], args);
    const Play play = ParsePlay(result);
    Outcome outcome{
        play.exit_code, play.log, play.framework, play.game, play.server, play.rcon, {}, {},
        play.err};
    outcome.journal = JournalOf(folder.PluginDir() / "journal");
    for (const auto& post : receiver.Requests()) {
      if (post.status != 204 && post.status != 200) continue;
      const nlohmann::json body = nlohmann::json::parse(post.body);
      for (const nlohmann::json& embed : body["embeds"]) outcome.embeds.push_back(embed);
    }
    return outcome;
  }

  // The lines of every label folder under `folder`, in order, each folder's chain checked, as
  // written but for `time` and `prev`, which differ between two runs. Neither key can be found
  // inside a text value, where every quote is escaped.
  static std::vector<std::string> JournalOf(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> labels;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      labels.push_back(it->path());
    }
    std::sort(labels.begin(), labels.end());
    std::vector<std::string> journal;
    for (const auto& label : labels) {
      std::vector<std::string> lines = JournalLines(label);
      EXPECT_EQ(ChainBreak(lines), "") << label;
      for (std::string& line : lines) {
        if (const auto at = line.find(",\"time\":\""); at != std::string::npos) {
          line.erase(at, line.find('"', at + 9) + 1 - at);
        }
        if (const auto at = line.rfind(",\"prev\":\""); at != std::string::npos) {
          line.erase(at, line.size() - 1 - at);  // prev is last: the closing brace stays
        }
        journal.push_back(std::move(line));
      }
    }
    return journal;
  }

  // Plays the script on both servers, expects the same, and says what was compared.
  Outcome ExpectSame(const nlohmann::json& config, const std::string& script,
                     const std::vector<std::pair<std::string, nlohmann::json>>& files = {}) {
    const Outcome on_linux = RunOn(linux_, config, script, files);
    const Outcome under_wine = RunOn(windows_, config, script, files);
    EXPECT_EQ(on_linux, under_wine) << "config: " << config.dump() << "\nscript:\n" << script;
    EXPECT_EQ(on_linux.exit_code, 0);
    return on_linux;
  }

  Server linux_;
  Server windows_;
};

TEST_F(DifferentialTest, TheExamplePlay) {
  const std::filesystem::path examples = QUILLMARK_SOURCE_DIR "/examples";
  std::ifstream config_file(examples / "server/ArkApi/Plugins/quillmark/config.json");
  std::ostringstream script;
  script << std::ifstream(examples / "play.txt").rdbuf();
  const Outcome on_linux = RunOn(linux_, nlohmann::json::parse(config_file), script.str(), {});
  ASSERT_GE(on_linux.log.size(), 8u);  // the play is not trivially the same on both
  ASSERT_GT(on_linux.journal.size(), on_linux.log.size() / 2);
  std::ifstream again(examples / "server/ArkApi/Plugins/quillmark/config.json");
  EXPECT_EQ(on_linux, RunOn(windows_, nlohmann::json::parse(again), script.str(), {}));
}

// Texts of every kind a player can put into a name or a console line: letters of many scripts,
// characters outside the Basic Multilingual Plane, braces and quotes, controls, invisible and
// direction-changing characters, Discord's markdown.
constexpr std::array kTexts = {"Zoé",
                               "Привет",
                               "你好",
                               "😀 smile",
                               "{braces}",
                               "\"quoted\"",
                               "tab\there",
                               "bell\x07",
                               "rlo\u202E",
                               "zero\u200Bw",
                               "escape\x1b[",
                               "del\x7f",
                               "[Mia (1)](https://evil.example) ||x||",
                               "**b** ~~s~~ `c` <@&1> @here :x: # h"};
constexpr std::array kPlayers = {"p1", "p2", "p3"};

std::string Text(ConfigGenerator& generator) { return kTexts[generator.Below(kTexts.size())]; }

// A console line: the generator's, made to fit a script line, with hostile texts and the
// admin password now and then.
std::string Line(ConfigGenerator& generator) {
  std::string line;
  switch (generator.Below(6)) {
    case 0:
      line = generator.Word() + " " + Text(generator);
      break;
    case 1:
      line = std::string(generator.OneIn(2) ? "\"EnableCheats\"" : "enablecheats") + " hunter2" +
             (generator.OneIn(2) ? "|fly" : "");
      break;
    default:
      line = generator.Command();
  }
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = '|';
  }
  return line;
}

std::string Script(ConfigGenerator& generator) {
  std::ostringstream script;
  for (const char* player : kPlayers) {
    script << "join " << player << " eos=" << kIds[generator.Below(kIds.size())]
           << std::to_string(generator.Below(3)) << " name=\"" << Text(generator) << "\""
           << (generator.OneIn(2) ? " admin" : "")
           << (generator.OneIn(5) ? " noroot" : " pos=1.5,-2.25,3") << "\n";
  }
  const std::size_t commands = 10 + generator.Below(20);
  for (std::size_t i = 0; i < commands; ++i) {
    const char* player = kPlayers[generator.Below(kPlayers.size())];
    switch (generator.Below(12)) {
      case 0:
        script << "admin " << player << (generator.OneIn(2) ? " on" : " off") << "\n";
        break;
      case 1:
        script << "move " << player << " " << generator.Below(1000) << ".0625,-7,1e6\n";
        break;
      case 2:
        script << "config {dir}/next.json\nrcon quillmark.reload\n";
        break;
      case 3:
        script << "rcon " << Line(generator) << "\n";
        break;
      default:
        script << "cmd " << player << " " << Line(generator) << "\n";
    }
  }
  return script.str();
}

TEST_F(DifferentialTest, GeneratedPlays) {
  std::size_t lines = 0;
  std::size_t embeds = 0;
  std::size_t records = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    ConfigGenerator generator(seed);
    const nlohmann::json config = generator.Config();
    const nlohmann::json next = generator.Config();
    const Outcome outcome = ExpectSame(config, Script(generator), {{"next.json", next}});
    if (HasFailure()) break;  // one difference is enough to read
    lines += outcome.log.size();
    embeds += outcome.embeds.size();
    records += outcome.journal.size();
  }
  // What was compared is not trivially the same: the plays write lines, post embeds and journal.
  EXPECT_GT(lines, 200u);
  EXPECT_GT(embeds, 150u);
  EXPECT_GT(records, 200u);
}

}  // namespace
}  // namespace quillmark::testing
