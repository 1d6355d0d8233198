// What the plugin costs the game thread for one console command: the handler alone, called as
// the game's hook chain calls it (decision, audit line into a discarding sink, hand-over of the
// notification), timed command by command; with small and very large allow-lists; with the
// webhook hung; an audited RCON command the same way; and the floor that no handler can go
// below (reading the player's details and writing one line). Each case also reports the engine
// allocator's calls per command.
#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "audit/position.h"
#include "audit/server_label.h"
#include "base/logger.h"
#include "host/host_text.h"
#include "host/journal_file.h"
#include "journal/journal.h"
#include "journal/journal_record.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "plugin/rcon_handler.h"
#include "sim/sim_control.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kEosId[] = "00021f8e7d6c5b4a39281706f5e4d3c2";

// The game's own function, doing nothing: what is timed is the plugin.
FString* Game(AShooterPlayerController* /*controller*/, FString* result, FString* /*command*/,
              bool /*write_to_log*/) {
  return result;
}

// The game's own RCON handler, doing nothing.
void GameRcon(RCONClientConnection* /*connection*/, RCONPacket* /*packet*/, UWorld* /*world*/) {}

// The plugin started in front of the game, logging into a sink that discards, with a player
// and an authenticated RCON client.
class Started {
 public:
  Started() {
    sim::SetLogSinks({std::make_shared<spdlog::sinks::null_sink_mt>()});
    quillmark::CreatePluginLogger();
    sim::SetCommandLine(HOST_TEXT("srv.exe -serverkey=Bench"));
    sim::StartWorld("TheIsland_WP");
    sim::SetServerAdminPassword("bench-password");
    rcon_ = sim::OpenRconConnection("127.0.0.1:50412");
    const auto answer = sim::SendRconPacket(rcon_, kRconAuth, HOST_TEXT("bench-password"));
    rcon_authenticated_ = answer.size() == 1 && answer[0].id != -1;
    quillmark::SavedConsoleCommand = &Game;
    quillmark::SavedRconPacket = &GameRcon;
    sim::PlayerSetup setup;
    setup.eos_id = kEosId;
    setup.character_name = "Rex Smith";
    setup.admin = true;
    setup.x = 1500.25, setup.y = -320, setup.z = 12.125;
    player_ = sim::AddPlayer(setup);
  }
  [[nodiscard]] AShooterPlayerController* player() const { return player_; }
  [[nodiscard]] RCONClientConnection* rcon() const { return rcon_; }
  [[nodiscard]] bool rcon_authenticated() const { return rcon_authenticated_; }

 private:
  AShooterPlayerController* player_;
  RCONClientConnection* rcon_;
  bool rcon_authenticated_ = false;
};

const Started& Plugin() {
  static const Started started;
  return started;
}

// A configuration with `admins` entries (the player's last) and `white_list` entries ("give"
// last), and the webhook hung when asked: posts are handed over and never answered, so that
// notifications queue up to `queue_limit` (0: the default, 10,000) and are counted as omitted
// past it.
nlohmann::json Config(int admins, int white_list, bool webhook, int queue_limit = 0) {
  nlohmann::json config = {{"white-list", nlohmann::json::array()},
                           {"admins", nlohmann::json::array()}};
  for (int i = 1; i < white_list; ++i) config["white-list"].push_back("cmd" + std::to_string(i));
  config["white-list"].push_back("give");
  for (int i = 1; i < admins; ++i) {
    char id[33];
    std::snprintf(id, sizeof id, "0002%028x", i);
    config["admins"].push_back({{"eosid", {id}}, {"allowed-commands", {"fly", "ghost"}}});
  }
  config["admins"].push_back(
      {{"eosid", {"0002bbbb", kEosId}}, {"allowed-commands", {"fly", "ghost", "teleport"}}});
  if (webhook) {
    config["discordwh"] = "http://127.0.0.1:9/api/webhooks/1/t";
    if (queue_limit > 0) config["discord"] = {{"queue-limit", queue_limit}};
  }
  return config;
}

// The journal kept in a fresh temporary folder for as long as the object lives.
class JournalOn {
 public:
  JournalOn()
      : folder_(std::filesystem::temp_directory_path() /
                ("quillmark-bench-journal-" +
                 std::to_string(Clock::now().time_since_epoch().count()))) {
    quillmark::StartJournal({true, folder_.string(), 0, 1 << 20});
  }
  ~JournalOn() {
    quillmark::StopJournal();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  JournalOn(const JournalOn&) = delete;
  JournalOn& operator=(const JournalOn&) = delete;
  [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

// The median, the 99th percentile and the slowest of the commands timed one by one (seconds).
void ReportEachCommand(benchmark::State& state, std::vector<double>& each) {
  if (each.empty()) return;
  std::sort(each.begin(), each.end());
  const auto at = [&each](double q) {
    return each[std::min(each.size() - 1, static_cast<std::size_t>(q * each.size()))] * 1e9;
  };
  state.counters["p50_ns"] = at(0.50);
  state.counters["p99_ns"] = at(0.99);
  state.counters["max_ns"] = each.back() * 1e9;
}

// Times `work` once per iteration as the handler's cases time the handler's call: the clock read
// right around it alone, and the median command reported. A floor timed as a whole loop would be
// its mean instead, which one preemption of the benchmark or one slow write on a shared machine
// pulls far above the median command, and would not compare with the handler's cases.
template <typename Work>
void TimeEachCommand(benchmark::State& state, Work&& work) {
  std::vector<double> each;
  each.reserve(200000);
  for (auto _ : state) {
    const auto start = Clock::now();
    work();
    const auto end = Clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    state.SetIterationTime(seconds);
    if (each.size() < each.capacity()) each.push_back(seconds);
  }
  ReportEachCommand(state, each);
}

// Runs `command` through the handler once per iteration, timing only the handler's call.
// What the webhook does: absent, hung (posts never answered), or idle at every command (a
// fresh delivery, so the command's notification is posted at once).
enum class Webhook { kNone, kHung, kIdle };
// Where the command comes from: a player's console, or an authenticated RCON client.
enum class Road { kConsole, kRcon };

void RunHandler(benchmark::State& state, const HostChar* command, const nlohmann::json& config,
                Webhook webhook = Webhook::kNone, Road road = Road::kConsole,
                bool journal = false) {
  const Started& plugin = Plugin();
  if (road == Road::kRcon && !plugin.rcon_authenticated()) {
    state.SkipWithError("the RCON client is not authenticated: nothing would be audited");
    return;
  }
  (void)quillmark::GetServerLabel();  // found once, as on a running server
  quillmark::UseConfiguration(config);
  std::optional<JournalOn> journal_on;
  if (journal) journal_on.emplace();
  const auto& delivery = quillmark::CurrentConfiguration().notify.delivery;
  if (webhook == Webhook::kHung) {
    sim::SetRequestOptions({.delay = std::chrono::hours(1)});  // the endpoint never answers
    quillmark::StartNotifier(delivery);
  } else if (webhook == Webhook::kIdle) {
    // Nothing listens at the webhook's port: each post fails at once, and its result comes
    // back on the request thread, so that stopping delivery between commands does not wait.
    sim::SetRequestOptions({.deliver_on_worker = true});
  }
  std::vector<double> each;
  each.reserve(200000);
  std::int64_t engine_calls = 0;
  for (auto _ : state) {
    FString text(command);
    FString result;
    RCONPacket packet{0, 1, kRconExecCommand, FString(command)};
    if (webhook == Webhook::kIdle) quillmark::StartNotifier(delivery);
    const std::int64_t calls = sim::GetAllocatorStats().Calls();
    const auto start = Clock::now();
    if (road == Road::kRcon) {
      quillmark::RconHandler(plugin.rcon(), &packet, nullptr);
    } else {
      benchmark::DoNotOptimize(quillmark::CommandHandler(plugin.player(), &result, &text, true));
    }
    const auto end = Clock::now();
    (void)sim::TakeServerMessages();  // what a blocked player was told, kept by the host
    if (webhook == Webhook::kIdle) {
      quillmark::StopNotifier();
      (void)sim::DrainRequests(std::chrono::seconds(5));  // the host's request thread idle again
    }
    engine_calls += sim::GetAllocatorStats().Calls() - calls;
    const double seconds = std::chrono::duration<double>(end - start).count();
    state.SetIterationTime(seconds);
    if (each.size() < each.capacity()) each.push_back(seconds);
  }
  state.counters["FMemory/cmd"] =
      static_cast<double>(engine_calls) / static_cast<double>(state.iterations());
  ReportEachCommand(state, each);
  if (webhook == Webhook::kHung) {
    quillmark::StopNotifier();
    sim::CancelRequests();
  }
  if (webhook != Webhook::kNone) {
    (void)sim::DrainRequests(std::chrono::seconds(5));
    sim::SetRequestOptions({});
  }
}

constexpr const HostChar* kGranted = HOST_TEXT("fly");
constexpr const HostChar* kWhiteListed = HOST_TEXT("GiveItemNum 121 1 0 0");
constexpr const HostChar* kBlocked = HOST_TEXT("DestroyWildDinos");

void BM_Granted(benchmark::State& state) {
  RunHandler(state, kGranted, Config(static_cast<int>(state.range(0)), 3, false));
}
void BM_WhiteListed(benchmark::State& state) {
  RunHandler(state, kWhiteListed, Config(static_cast<int>(state.range(0)), 3, false));
}
void BM_Blocked(benchmark::State& state) {
  RunHandler(state, kBlocked, Config(static_cast<int>(state.range(0)), 3, false));
}
// A blocked player told so: the message made and handed to the game.
void BM_BlockedTold(benchmark::State& state) {
  nlohmann::json config = Config(10, 3, false);
  config["messages"] = {{"blocked", "Not allowed on this server: {command}"}};
  RunHandler(state, kBlocked, config);
}
// The allow-list's size: entries of "admins" (range 0) or of "white-list" (range 1).
void BM_GrantedLargeWhiteList(benchmark::State& state) {
  RunHandler(state, kGranted, Config(10, static_cast<int>(state.range(0)), false));
}
void BM_WhiteListedLargeWhiteList(benchmark::State& state) {
  RunHandler(state, kWhiteListed, Config(10, static_cast<int>(state.range(0)), false));
}
void BM_BlockedHungWebhook(benchmark::State& state) {
  RunHandler(state, kBlocked, Config(10, 3, true), Webhook::kHung);
}
void BM_GrantedHungWebhook(benchmark::State& state) {
  RunHandler(state, kGranted, Config(10, 3, true), Webhook::kHung);
}
// Every command's notification made and queued (none counted as omitted), as while Discord
// takes them: the queue grows to 100,000.
void BM_BlockedEveryNotificationQueued(benchmark::State& state) {
  RunHandler(state, kBlocked, Config(10, 3, true, 100000), Webhook::kHung);
}
void BM_GrantedEveryNotificationQueued(benchmark::State& state) {
  RunHandler(state, kGranted, Config(10, 3, true, 100000), Webhook::kHung);
}
// A command of a player in no group of the Permissions plugin, against 100 entries that name
// groups and would grant it: the plugin's groups asked for once, and nothing granted.
void BM_BlockedNoGroup(benchmark::State& state) {
  nlohmann::json config = Config(10, 3, false);
  for (int i = 0; i < 100; ++i) {
    config["admins"].push_back(
        {{"groups", {"Group" + std::to_string(i)}}, {"allowed-commands", {"destroywilddinos"}}});
  }
  (void)Plugin();
  sim::ResetPermissions();
  (void)sim::SetPermissionsLoaded(true);
  const std::int64_t asked = sim::GetPermissionsStats().player_groups;
  RunHandler(state, kBlocked, config);
  state.counters["groups_asked/cmd"] =
      static_cast<double>(sim::GetPermissionsStats().player_groups - asked) /
      static_cast<double>(state.iterations());
  sim::ResetPermissions();
}
BENCHMARK(BM_BlockedNoGroup)->UseManualTime();
BENCHMARK(BM_Granted)->Arg(10)->Arg(100000)->UseManualTime();
BENCHMARK(BM_WhiteListed)->Arg(10)->Arg(100000)->UseManualTime();
BENCHMARK(BM_Blocked)->Arg(10)->Arg(100000)->UseManualTime();
BENCHMARK(BM_BlockedTold)->UseManualTime();
BENCHMARK(BM_GrantedLargeWhiteList)->Arg(10)->Arg(10000)->UseManualTime();
BENCHMARK(BM_WhiteListedLargeWhiteList)->Arg(10)->Arg(10000)->UseManualTime();
BENCHMARK(BM_BlockedHungWebhook)->Iterations(100000)->UseManualTime();
BENCHMARK(BM_GrantedHungWebhook)->Iterations(100000)->UseManualTime();
// An idle webhook: the notification is posted as the command is handled (body made, request
// handed to the host).
void BM_BlockedIdleWebhook(benchmark::State& state) {
  RunHandler(state, kBlocked, Config(10, 3, true), Webhook::kIdle);
}
BENCHMARK(BM_BlockedIdleWebhook)->Iterations(2000)->UseManualTime();
BENCHMARK(BM_BlockedEveryNotificationQueued)->Iterations(100000)->UseManualTime();
BENCHMARK(BM_GrantedEveryNotificationQueued)->Iterations(100000)->UseManualTime();

// An RCON command of an authenticated client: its line, and with a hung webhook its hand-over;
// the allow-list does not take part, whatever its size.
constexpr const HostChar* kRconCommand = HOST_TEXT("SetTimeOfDay 12:00");
void BM_Rcon(benchmark::State& state) {
  RunHandler(state, kRconCommand, Config(static_cast<int>(state.range(0)), 3, false),
             Webhook::kNone, Road::kRcon);
}
void BM_RconHungWebhook(benchmark::State& state) {
  RunHandler(state, kRconCommand, Config(10, 3, true), Webhook::kHung, Road::kRcon);
}
BENCHMARK(BM_Rcon)->Arg(10)->Arg(100000)->UseManualTime();
BENCHMARK(BM_RconHungWebhook)->Iterations(100000)->UseManualTime();

// What any handler must read of the player for a command: the EOS id and the character name.
void ReadPlayer(AShooterPlayerController* player, FString& id, FString& name) {
  id = AsaApi::IApiUtils::GetEOSIDFromController(player);
  using GetNameFn = FString* (*)(AShooterPlayerController*, FString*);
  reinterpret_cast<GetNameFn>(GetAddress("AShooterPlayerController.GetPlayerCharacterName()"))(
      player, &name);
}

// The floor: what any handler must do for a command — read the player's EOS id and name from
// the game (and free them, as the handler does) and write one line of the audit line's length;
// timed command by command, as the handler's cases are.
void BM_Floor(benchmark::State& state) {
  const Started& plugin = Plugin();
  const std::string line(150, 'x');
  TimeEachCommand(state, [&] {
    FString id;
    FString name;
    ReadPlayer(plugin.player(), id, name);
    benchmark::DoNotOptimize(id);
    benchmark::DoNotOptimize(name);
    quillmark::LogInfo(line);
  });
}
BENCHMARK(BM_Floor)->UseManualTime();

// With the journal on: the same commands, each also written as one record.
void BM_GrantedJournal(benchmark::State& state) {
  RunHandler(state, kGranted, Config(10, 3, false), Webhook::kNone, Road::kConsole, true);
}
void BM_BlockedJournal(benchmark::State& state) {
  RunHandler(state, kBlocked, Config(10, 3, false), Webhook::kNone, Road::kConsole, true);
}
void BM_RconJournal(benchmark::State& state) {
  RunHandler(state, kRconCommand, Config(10, 3, false), Webhook::kNone, Road::kRcon, true);
}
BENCHMARK(BM_GrantedJournal)->UseManualTime();
BENCHMARK(BM_BlockedJournal)->UseManualTime();
BENCHMARK(BM_RconJournal)->UseManualTime();

// The journal's floor: read the player's EOS id and name, format the same record as a granted
// command's and write it with one write to a file opened for appending, on the file system the
// journal's cases write to; timed command by command, as the handler's cases are. The chain's
// hash is the journal's own cost, above the floor.
void BM_JournalFloor(benchmark::State& state) {
  const Started& plugin = Plugin();
  const JournalOn journal;  // a folder to write in
  std::string error;
  const host::FileHandle file =
      host::OpenForAppend((journal.folder() / "floor.jsonl").string(), error);
  quillmark::CommandAccount account;
  account.allowed = true;
  account.rule = "/admins/9/allowed-commands/0";
  account.x = 1500.25, account.y = -320, account.z = 12.125;
  std::uint64_t seq = 1;
  TimeEachCommand(state, [&] {
    FString id;
    FString name;
    ReadPlayer(plugin.player(), id, name);
    account.eos_id = quillmark::FStringToUtf8(id);
    account.player = quillmark::FStringToUtf8(name);
    account.command = "fly";
    std::string line = quillmark::CommandRecord({seq++, host::UtcMilliseconds(), "Bench"}, account,
                                                quillmark::kFirstPrev);
    line += '\n';
    benchmark::DoNotOptimize(host::AppendBytes(file, line, error));
  });
  host::CloseFile(file);
}
BENCHMARK(BM_JournalFloor)->UseManualTime();

// For scale: the simulated game's own console path without the plugin, and with it.
void BM_SimulatedGame(benchmark::State& state) {
  const Started& plugin = Plugin();
  quillmark::UseConfiguration(Config(10, 3, false));
  const bool hooked = state.range(0) != 0;
  ConsoleCommandFn original = nullptr;
  if (hooked) {
    AsaApi::GetHooks().InstallHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler,
                                   &original);
    quillmark::SavedConsoleCommand = original;
  }
  const HostText text(kGranted);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sim::RunConsoleCommand(plugin.player(), text));
    (void)sim::TakeReceivedCommands();
  }
  if (hooked) {
    AsaApi::GetHooks().RemoveHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler);
    quillmark::SavedConsoleCommand = &Game;
  }
}
BENCHMARK(BM_SimulatedGame)->Arg(0)->Arg(1);

// The position's text, through the host's wide printf as it was written before.
void BM_PositionTextByWidePrintf(benchmark::State& state) {
  const double value = state.range(0) == 0 ? 1500.25 : 1e300;
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillmark::FStringToNarrow(
        quillmark::FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), value, value, value)));
  }
}
BENCHMARK(BM_PositionTextByWidePrintf)->Arg(0)->Arg(1);

// The position's text as the handler writes it now.
void BM_PositionText(benchmark::State& state) {
  const double value = state.range(0) == 0 ? 1500.25 : 1e300;
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::PositionText(value, value, value));
}
BENCHMARK(BM_PositionText)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
