// quillmark-sim: a stand-in for the dedicated server. It sets up the simulated host, loads the
// plugin library as the framework does (before the game world exists), starts the world and
// plays directives from a script or standard input: players join and type console commands,
// which pass through whatever is hooked in front of the game's console-command function.
//
//   quillmark-sim [--server-dir DIR] [--map NAME] [--plugin FILE] [--script FILE] [--log FILE]
//                 [server options...]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "sim/server/platform.h"
#include "sim/server/script.h"
#include "sim/sim_control.h"

namespace {

constexpr char kUsage[] =
    "usage: quillmark-sim [--server-dir DIR] [--map NAME] [--plugin FILE] [--script FILE] "
    "[--log FILE] [server options...]\n";

struct Options {
  std::string server_dir = ".";
  std::string map = "TheIsland_WP";
  std::string plugin;
  std::string script;
  std::string log;
};

// Options of the stand-in; anything else (such as -serverkey=Alpha) is a server option, which
// the plugin reads from the process command line. False for a malformed option.
bool ParseOptions(int argc, char** argv, Options& options) {
  const std::map<std::string, std::string*> valued = {{"--server-dir", &options.server_dir},
                                                      {"--map", &options.map},
                                                      {"--plugin", &options.plugin},
                                                      {"--script", &options.script},
                                                      {"--log", &options.log}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto it = valued.find(arg);
    if (it != valued.end()) {
      if (i + 1 >= argc) return false;
      *it->second = argv[++i];
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    }
  }
  return true;
}

class Server {
 public:
  void Run(std::istream& input, bool interactive) {
    std::string line;
    int number = 0;
    for (;;) {
      if (interactive) std::fputs("> ", stdout), std::fflush(stdout);
      if (!std::getline(input, line)) break;
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      auto parsed = sim::server::ParseDirective(line);
      if (auto* error = std::get_if<std::string>(&parsed)) {
        Complain(number, *error);
        continue;
      }
      std::visit([&](const auto& directive) { Do(number, directive); },
                 std::get<sim::server::Directive>(parsed));
    }
  }

 private:
  static void Complain(int number, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "quillmark-sim: line %d: %s\n", number, message.c_str());
    std::fflush(stderr);
  }

  AShooterPlayerController* Find(int number, const std::string& player) {
    const auto it = players_.find(player);
    if (it == players_.end()) Complain(number, "no player \"" + player + "\" has joined");
    return it == players_.end() ? nullptr : it->second;
  }

  void Do(int, const sim::server::Nothing&) {}

  void Do(int number, const sim::server::Join& join) {
    if (players_.count(join.player) != 0) {
      Complain(number, "player \"" + join.player + "\" has joined already");
      return;
    }
    sim::PlayerSetup setup;
    setup.eos_id = join.eos_id;
    setup.character_name = join.character_name.value_or(join.player);
    setup.admin = join.admin;
    setup.has_root_component = join.has_root_component;
    setup.x = join.x, setup.y = join.y, setup.z = join.z;
    players_[join.player] = sim::AddPlayer(setup);
  }

  void Do(int number, const sim::server::Command& command) {
    AShooterPlayerController* controller = Find(number, command.player);
    if (controller == nullptr) return;
    sim::RunConsoleCommand(controller, AsaApi::Tools::Utf8Decode(command.command));
    for (const sim::ReceivedCommand& received : sim::TakeReceivedCommands()) {
      std::printf("[game] %s ConsoleCommand: \"%s\"\n", command.player.c_str(),
                  sim::Utf8(received.command).c_str());
    }
    std::fflush(stdout);
  }

  void Do(int number, const sim::server::Admin& admin) {
    if (AShooterPlayerController* controller = Find(number, admin.player)) {
      sim::SetAdmin(controller, admin.on);
    }
  }

  void Do(int number, const sim::server::Move& move) {
    if (AShooterPlayerController* controller = Find(number, move.player)) {
      sim::SetPosition(controller, move.x, move.y, move.z);
    }
  }

  void Do(int, const sim::server::Map& map) { sim::SetMapName(map.name); }

  void Do(int number, const sim::server::Wait&) {
    if (!sim::DrainRequests(std::chrono::seconds(10))) {
      Complain(number, "webhook posts still pending after 10 s");
    }
  }

  std::map<std::string, AShooterPlayerController*> players_;
};

}  // namespace

namespace {

int Serve(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::ifstream script_file;
  if (!options.script.empty()) {
    script_file.open(options.script);
    if (!script_file.is_open()) {
      std::fprintf(stderr, "quillmark-sim: cannot read script %s\n%s", options.script.c_str(),
                   kUsage);
      return 2;
    }
  }
  sim::SetServerDir(options.server_dir);
  sim::UseConsoleLogSink();
  if (!options.log.empty()) sim::AddLogFile(options.log);

  // As on the real server, plugins load before the game world exists.
  sim::server::PluginLibrary plugin;
  const std::string plugin_path =
      options.plugin.empty() ? sim::server::DefaultPluginPath() : options.plugin;
  std::string error;
  switch (plugin.Load(plugin_path, error)) {
    case sim::server::LoadResult::kLoaded:
      break;
    case sim::server::LoadResult::kStartFailed:
      // As the framework does: the plugin is reported as not loaded and the server goes on.
      std::fprintf(stderr, "quillmark-sim: plugin %s did not start: %s\n", plugin_path.c_str(),
                   error.c_str());
      break;
    case sim::server::LoadResult::kNotLoadable:
      std::fprintf(stderr, "quillmark-sim: cannot load plugin %s: %s\n%s", plugin_path.c_str(),
                   error.c_str(), kUsage);
      return 2;
  }
  sim::StartWorld(options.map);

  Server server;
  if (script_file.is_open()) {
    server.Run(script_file, false);
  } else {
    server.Run(std::cin, sim::server::InputIsTerminal());
  }

  if (!sim::DrainRequests(std::chrono::seconds(10))) {
    std::fputs("quillmark-sim: webhook posts still pending after 10 s were cancelled\n", stderr);
  }
  // No callback may reach the plugin once it is gone.
  sim::CancelRequests();
  plugin.Unload();
  sim::RemoveAllHooks();  // the framework takes off whatever a plugin left installed
  sim::StopWorld();
  std::fflush(stdout);
  const auto live = sim::GetAllocatorStats().live_blocks;
  if (live != 0) {
    std::fprintf(stderr, "quillmark-sim: %lld engine blocks were not given back\n",
                 static_cast<long long>(live));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Serve(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmark-sim: %s\n", e.what());
    return 1;
  }
}
