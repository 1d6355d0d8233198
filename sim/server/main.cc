// quillmark-sim: a stand-in for the dedicated server. It sets up the simulated host, loads the
// plugin as the framework does (before the game world exists), starts the world and runs the
// game loop: each frame the framework delivers request results and runs tick callbacks, and
// between frames the server plays directives from a script or standard input: players join and
// type console commands, which pass through whatever is hooked in front of the game's
// console-command function, and RCON requests are sent. With RCON enabled, as the game enables
// it (?RCONEnabled=True?RCONPort=N?ServerAdminPassword=PW in the map URL, its first argument),
// it also listens for RCON clients on 127.0.0.1. At the end it waits for webhook posts, then
// unloads the plugin in the framework's order, as "plugins.unload" does. A real server never
// unloads its plugins: with the directive "shutdown", or with --shutdown at the end of the play,
// it exits as one does, the plugin still loaded and told only of the process's end; with
// "crash" it dies at once, as a crash or a kill ends it.
//
//   quillmark-sim [--server-dir DIR] [--map NAME] [--plugin FILE] [--script FILE] [--log FILE]
//                 [--stats] [--callbacks-on-worker] [--shutdown] [--rcon-port N]
//                 [--rcon-port-file FILE] [MAP?OPTIONS] [server options...]
//
// It also offers operators two commands on a configuration file, without a server:
//
//   quillmark-sim check <config.json>
//   quillmark-sim explain --config <config.json> --eos <id> [--admin] [--plugin]
//                         [--groups A,B] <command...>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "sim/server/options.h"
#include "sim/server/platform.h"
#include "sim/server/script.h"
#include "sim/sim_control.h"
#include "tools/operator_commands.h"
#include "tools/program.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPluginName[] = "quillmark";
constexpr auto kSettleTime = std::chrono::seconds(10);
// The exit status of a crash directive: the number of the signal a kill sends (SIGKILL).
constexpr int kCrashStatus = 9;
constexpr auto kRconWaitTime = std::chrono::seconds(60);

constexpr char kUsage[] =
    "usage: quillmark-sim [--server-dir DIR] [--map NAME] [--plugin FILE] [--script FILE] "
    "[--log FILE] [--stats] [--callbacks-on-worker] [--shutdown] [--rcon-port N] "
    "[--rcon-port-file FILE] [MAP?OPTIONS] [server options...]\n"
    "       quillmark-sim check <config.json>\n"
    "       quillmark-sim explain --config <config.json> --eos <id> [--admin] [--plugin]"
    " [--groups A,B] <command...>\n";

// The usage, on standard output when it was asked for (exit status 0), else on the error output
// (exit status 2).
int Usage(bool asked) {
  std::fputs(kUsage, asked ? stdout : stderr);
  return asked ? 0 : 2;
}

// Lines read on a thread of their own, so that the game loop keeps running while it waits for
// the next one.
class LineSource {
 public:
  enum class Status { kLine, kNone, kEnd };

  explicit LineSource(std::istream& input, bool prompt)
      : reader_([this, &input, prompt] { Read(input, prompt); }) {}
  ~LineSource() {
    if (reader_.joinable()) reader_.join();
  }
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Leaves the reader to the end of the process, which takes every thread with it as a server's
  // does, rather than waiting for it.
  void Abandon() { reader_.detach(); }

  // The next line, waiting at most `wait` for it.
  Status Next(std::string& line, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return !lines_.empty() || ended_; });
    if (lines_.empty()) return ended_ ? Status::kEnd : Status::kNone;
    line = std::move(lines_.front());
    lines_.pop_front();
    if (lines_.size() < kReadAhead) changed_.notify_all();
    return Status::kLine;
  }

 private:
  static constexpr std::size_t kReadAhead = 4096;

  void Read(std::istream& input, bool prompt) {
    std::string line;
    for (;;) {
      if (prompt) std::fputs("> ", stdout), std::fflush(stdout);
      if (!std::getline(input, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return lines_.size() < kReadAhead; });
      lines_.push_back(std::move(line));
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> lines_;
  bool ended_ = false;
  std::thread reader_;
};

class Server {
 public:
  explicit Server(std::string server_dir) : server_dir_(std::move(server_dir)) {}

  void Run(LineSource& source) {
    std::string line;
    int number = 0;
    while (!shutting_down_) {
      const auto status = source.Next(line, std::chrono::milliseconds(16));
      if (status == LineSource::Status::kEnd) break;
      if (status == LineSource::Status::kLine) Play(++number, line);
      Frame();
    }
  }

  // Whether the play ended with the directive "shutdown".
  [[nodiscard]] bool ShuttingDown() const { return shutting_down_; }

  // After the play: how many console commands were handled, and the longest any took.
  // With the time the play took and the wait for webhook posts after it.
  void PrintStats(Clock::duration play, Clock::duration settle) const {
    const auto ms = [](Clock::duration d) {
      return static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    std::printf("[stats] commands=%lld longest_us=%lld play_ms=%lld settle_ms=%lld\n", commands_,
                static_cast<long long>(longest_.count()), ms(play), ms(settle));
  }

  // Embeds the plugin still owes the channel: notifications not yet delivered, refused or
  // given up, and notices of omitted ones not yet posted; 0 when no plugin that tells is loaded.
  static std::uint64_t Waiting() {
    using WaitingFn = std::uint64_t (*)();
    const auto waiting = reinterpret_cast<WaitingFn>(
        sim::FindPluginExport(kPluginName, "QuillmarkWaitingNotifications"));
    return waiting != nullptr ? waiting() : 0;
  }

  // Waits, running frames, until every notification handed over so far is delivered, refused or
  // counted as omitted, and every request has completed; says how many were left when it gives
  // up.
  static bool Settle(int number) {
    if (sim::RunFramesUntil([] { return Waiting() == 0 && sim::PendingRequests() == 0; },
                            kSettleTime)) {
      return true;
    }
    const std::string left =
        std::to_string(Waiting()) + " embeds (commands and notices of omitted ones) and " +
        std::to_string(sim::PendingRequests()) + " webhook posts still waiting after " +
        std::to_string(kSettleTime.count()) + " s";
    if (number > 0) {
      Complain(number, left);
    } else {
      std::fflush(stdout);
      std::fprintf(stderr, "quillmark-sim: %s\n", left.c_str());
    }
    return false;
  }

  // Server messages shown to players, and what the RCON listener saw.
  void ShowWhatHappened() {
    for (const sim::ServerMessage& message : sim::TakeServerMessages()) {
      std::printf("[server] to %s: %s\n", NameOf(message.controller).c_str(),
                  sim::Utf8(message.text).c_str());
    }
    for (const std::string& note : sim::TakeRconNotes())
      std::printf("[net] RCON %s\n", note.c_str());
    std::fflush(stdout);
  }

 private:
  void Play(int number, const std::string& line) {
    auto parsed = sim::server::ParseDirective(line);
    if (auto* error = std::get_if<std::string>(&parsed)) {
      Complain(number, *error);
      return;
    }
    std::visit([&](const auto& directive) { Do(number, directive); },
               std::get<sim::server::Directive>(parsed));
  }

  static void Complain(int number, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "quillmark-sim: line %d: %s\n", number, message.c_str());
    std::fflush(stderr);
  }

  void Frame() {
    const auto now = Clock::now();
    sim::Tick(std::chrono::duration<float>(now - last_frame_).count());
    last_frame_ = now;
    ShowWhatHappened();
  }

  std::string NameOf(AShooterPlayerController* controller) const {
    for (const auto& [name, player] : players_) {
      if (player == controller) return name;
    }
    return "?";
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
    eos_ids_[join.player] = join.eos_id;
  }

  void Do(int number, const sim::server::Group& group) {
    if (Find(number, group.player) == nullptr) return;
    sim::SetPlayerGroup(eos_ids_[group.player], group.group, group.on);
  }

  void Do(int number, const sim::server::Permissions& permissions) {
    std::string error;
    if (!sim::SetPermissionsLoaded(permissions.on, &error)) {
      Complain(number, "the Permissions plugin stays " +
                           std::string(permissions.on ? "unloaded" : "loaded") + ": " + error);
      return;
    }
    std::printf("[operator] the Permissions plugin %s\n", permissions.on ? "loaded" : "unloaded");
    std::fflush(stdout);
  }

  void Do(int number, const sim::server::Command& command) {
    AShooterPlayerController* controller = Find(number, command.player);
    if (controller == nullptr) return;
    const HostText text = AsaApi::Tools::Utf8Decode(command.command);
    Timed([&] { (void)sim::RunConsoleCommand(controller, text); });
    ShowReceived(command.player);
    std::fflush(stdout);
  }

  // As a shop's kit runs its commands; what the call returned is what the plugin reads.
  void Do(int number, const sim::server::PluginCommand& command) {
    AShooterPlayerController* controller = Find(number, command.player);
    if (controller == nullptr) return;
    const HostText text = AsaApi::Tools::Utf8Decode(command.command);
    HostText returned;
    Timed([&] { returned = sim::RunPluginCommand(controller, text, command.admin); });
    ShowReceived(command.player);
    std::printf("[game] %s   returned to the plugin: \"%s\"\n", command.player.c_str(),
                sim::Utf8(returned).c_str());
    std::fflush(stdout);
  }

  template <typename Call>
  void Timed(const Call& call) {
    const auto start = Clock::now();
    call();
    longest_ = std::max(
        longest_, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
    ++commands_;
  }

  // What the game's function received, and what its console ran when that is not simply the
  // whole text.
  static void ShowReceived(const std::string& player) {
    for (const sim::ReceivedCommand& received : sim::TakeReceivedCommands()) {
      std::printf("[game] %s ConsoleCommand: \"%s\"\n", player.c_str(),
                  sim::Utf8(received.command).c_str());
      if (received.parts.size() != 1 || received.parts[0] != received.command) {
        for (const HostText& part : received.parts) {
          std::printf("[game] %s   ran: \"%s\"\n", player.c_str(), sim::Utf8(part).c_str());
        }
      }
    }
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

  void Do(int number, const sim::server::Wait&) { (void)Settle(number); }

  void Do(int, const sim::server::Rcon& rcon) {
    for (const HostText& reply : sim::RunRconCommand(AsaApi::Tools::Utf8Decode(rcon.command))) {
      std::printf("[rcon] %s\n", sim::Utf8(reply).c_str());
    }
    std::fflush(stdout);
  }

  void Do(int number, const sim::server::RconWait& wait) {
    const auto target = rcon_clients_waited_ + wait.clients;
    rcon_clients_waited_ = target;
    if (!sim::RunFramesUntil([target] { return sim::RconClientsGone() >= target; },
                             kRconWaitTime)) {
      Complain(number, std::to_string(sim::RconClientsGone()) + " of " + std::to_string(target) +
                           " RCON clients came and went in " +
                           std::to_string(kRconWaitTime.count()) + " s");
    }
    ShowWhatHappened();
  }

  void Do(int number, const sim::server::Repeat& repeat) {
    for (long long round = 1; round <= repeat.count; ++round) {
      std::string line = repeat.directive;
      for (auto at = line.find("{n}"); at != std::string::npos; at = line.find("{n}", at)) {
        line.replace(at, 3, std::to_string(round));
      }
      Play(number, line);
      Frame();
    }
  }

  // As an operator edits the file: the plugin sees the change when it reads the file again.
  void Do(int number, const sim::server::UseConfig& config) {
    const std::filesystem::path target =
        std::filesystem::path(server_dir_) / "ArkApi" / "Plugins" / kPluginName / "config.json";
    if (!PutInPlace(number, config.file, target.string(), "config.json")) return;
    std::printf("[operator] config.json replaced by %s\n", config.file.c_str());
    std::fflush(stdout);
  }

  // As an operator updates the plugin on a running server: the framework's timer finds the file
  // and does the rest.
  void Do(int number, const sim::server::Update& update) {
    const std::string library = sim::PluginLibraryPath(kPluginName);
    const std::string file = update.file.empty() ? library : update.file;
    const std::string target = library + ".ArkApi";
    if (!PutInPlace(number, file, target, "the update")) return;
    std::printf("[operator] %s put beside the plugin as %s\n", file.c_str(),
                std::filesystem::path(target).filename().string().c_str());
    std::fflush(stdout);
  }

  void Do(int, const sim::server::Shutdown&) { shutting_down_ = true; }
  [[noreturn]] void Do(int, const sim::server::Crash&) { sim::KillProcess(kCrashStatus); }

  // Copies `file` to `target`, reading it whole before the target is touched, so that one that
  // cannot be read leaves the target as it was. (Copied by streams: MinGW's copy_file refuses to
  // overwrite a file that exists.)
  static bool PutInPlace(int number, const std::string& file, const std::string& target,
                         const std::string& what) {
    std::error_code error;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (!std::filesystem::is_regular_file(file, error) || !in.is_open() ||
        !(text << in.rdbuf() || in.peek() == std::ifstream::traits_type::eof())) {
      Complain(number, "cannot read " + file + ": " + what + " is left as it was");
      return false;
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.is_open() || !(out << text.str()) || !out.flush()) {
      Complain(number, "cannot put " + file + " in place of " + what);
      return false;
    }
    return true;
  }

  void Do(int, const sim::server::Sleep& sleep) {
    sim::RunFrames(std::chrono::milliseconds(static_cast<long long>(sleep.seconds * 1000)));
    ShowWhatHappened();
  }

  std::string server_dir_;
  std::map<std::string, AShooterPlayerController*> players_;
  std::map<std::string, std::string> eos_ids_;
  Clock::time_point last_frame_ = Clock::now();
  long long commands_ = 0;
  std::chrono::microseconds longest_{0};
  std::int64_t rcon_clients_waited_ = 0;  // clients the play's rcon-wait directives waited for
  bool shutting_down_ = false;
};

// The server's shutdown as a real server goes through it: the framework has no unload path at
// exit, so the plugin stays loaded and is told only of the process's end (its DllMain's detach,
// under the loader lock); requests still in transfer are abandoned with the process.
[[noreturn]] void ShutDown(Server& server, const sim::server::Options& options,
                           Clock::duration play) {
  server.ShowWhatHappened();
  if (options.stats) server.PrintStats(play, Clock::duration::zero());
  sim::StopWorld();
  std::fflush(stdout);
  if (sim::IsPluginLoaded(kPluginName)) {
    std::fprintf(stderr,
                 "quillmark-sim: the server shut down without unloading the plugin, as a real "
                 "one does; the %lld engine blocks it holds are still in use, not lost\n",
                 static_cast<long long>(sim::GetAllocatorStats().live_blocks));
  }
  sim::EndProcess(0);
}

// The Permissions plugin, when the server has its folder: loaded before this plugin, as the
// framework's order of the plugin folders has it, from its folder or else beside this program
// (from there also when it is loaded later).
void LoadPermissions(const std::string& server_dir, const std::string& beside) {
  const std::filesystem::path folder =
      std::filesystem::path(server_dir) / "ArkApi" / "Plugins" / "Permissions";
  const std::filesystem::path library =
      std::filesystem::path(beside).parent_path() /
      ("Permissions" + std::filesystem::path(beside).extension().string());
  if (!sim::server::IsLoadableFile((folder / library.filename()).string()) &&
      sim::server::IsLoadableFile(library.string())) {
    sim::SetPluginLibrary("Permissions", library.string());
  }
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) return;
  std::string error;
  if (!sim::SetPermissionsLoaded(true, &error)) {
    std::fprintf(stderr, "quillmark-sim: the Permissions plugin did not load: %s\n", error.c_str());
  }
}

int Serve(int argc, char** argv) {
  sim::server::Options options;
  std::string error;
  if (!sim::server::ParseOptions(argc, argv, options, error) || options.help) {
    if (!error.empty()) std::fprintf(stderr, "quillmark-sim: %s\n", error.c_str());
    return Usage(options.help);
  }
  std::ifstream script_file;
  if (!options.script.empty()) {
    script_file.open(options.script, std::ios::binary);
    if (!script_file.is_open()) {
      std::fprintf(stderr, "quillmark-sim: cannot read script %s\n%s", options.script.c_str(),
                   kUsage);
      return 2;
    }
  }
  std::string framework_error;
  if (!sim::server::StartFramework(framework_error)) {
    std::fprintf(stderr, "quillmark-sim: %s\n", framework_error.c_str());
    return 2;
  }
  sim::SetServerDir(options.server_dir);
  // The framework calls request callbacks on the game thread during a frame; a host may call
  // them on its own threads instead, which the plugin must take as well.
  sim::SetRequestOptions({.deliver_on_worker = options.callbacks_on_worker});
  sim::UseConsoleLogSink();
  if (!options.log.empty()) sim::AddLogFile(options.log);

  // As on the real server, plugins load before the game world exists. A plugin that fails to
  // load is reported and the server goes on, as the framework does. The plugin is the one named,
  // else the one in the plugin's folder where the framework looks, else the one built beside
  // this program.
  const std::string beside = sim::server::DefaultPluginPath();
  const std::filesystem::path in_folder = std::filesystem::path(options.server_dir) / "ArkApi" /
                                          "Plugins" / kPluginName /
                                          std::filesystem::path(beside).filename();
  if (!options.plugin.empty() || !sim::server::IsLoadableFile(in_folder.string())) {
    const std::string plugin_path = options.plugin.empty() ? beside : options.plugin;
    if (!sim::server::IsLoadableFile(plugin_path)) {
      std::fprintf(stderr, "quillmark-sim: cannot load plugin %s: no such library\n%s",
                   plugin_path.c_str(), kUsage);
      return 2;
    }
    sim::SetPluginLibrary(kPluginName, plugin_path);
  }
  LoadPermissions(options.server_dir, beside);
  (void)sim::LoadPlugin(kPluginName);
  sim::StartWorld(options.map);
  Server server(options.server_dir);
  if (!sim::server::StartRcon(options)) {
    if (sim::IsPluginLoaded(kPluginName)) (void)sim::UnloadPlugin(kPluginName);
    sim::StopWorld();
    return 2;
  }
  server.ShowWhatHappened();
  const auto started = Clock::now();
  {
    LineSource source(script_file.is_open() ? static_cast<std::istream&>(script_file) : std::cin,
                      !script_file.is_open() && sim::server::InputIsTerminal());
    server.Run(source);
    // Before the line source is done with: its reader may wait on input that never ends.
    if (server.ShuttingDown() || options.shutdown) {
      source.Abandon();
      ShutDown(server, options, Clock::now() - started);
    }
  }
  const auto played = Clock::now();
  (void)Server::Settle(0);
  server.ShowWhatHappened();
  if (options.stats) server.PrintStats(played - started, Clock::now() - played);
  // The framework's shutdown of a plugin: its pending callbacks dropped, its hooks taken off.
  // A plugin whose PluginInfo.json prevents unloading stays, as it does on a server that exits.
  std::string kept;
  if (sim::IsPluginLoaded(kPluginName)) (void)sim::UnloadPlugin(kPluginName, &kept);
  sim::CancelRequests();
  sim::StopWorld();
  std::fflush(stdout);
  const auto live = static_cast<long long>(sim::GetAllocatorStats().live_blocks);
  if (!kept.empty()) {
    std::fprintf(stderr,
                 "quillmark-sim: the plugin stays loaded at the end: %s; the %lld engine blocks "
                 "it holds are still in use, not lost\n",
                 kept.c_str(), live);
  } else if (live != 0) {
    std::fprintf(stderr, "quillmark-sim: %lld engine blocks were not given back\n", live);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args = quillmark::tools::ProgramArguments(argc, argv);
    if (args.size() > 1 && args[1] == "check") return quillmark::tools::RunCheck(args, kUsage);
    if (args.size() > 1 && args[1] == "explain") return quillmark::tools::RunExplain(args, kUsage);
    return Serve(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmark-sim: %s\n", e.what());
    return 1;
  }
}
