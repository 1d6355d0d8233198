// What the plugin costs the game thread: one console command through the handler (decision,
// audit line, hand-over of the notification), and the text conversions it is made of.
#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>

#include <nlohmann/json.hpp>

#include "audit/server_label.h"
#include "base/logger.h"
#include "host/host_text.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "sim/sim_control.h"

namespace {

// The plugin started in front of the game, logging into a sink that discards.
class Started {
 public:
  Started() {
    sim::SetLogSinks({std::make_shared<spdlog::sinks::null_sink_mt>()});
    quillmark::CreatePluginLogger();
    sim::SetCommandLine(HOST_TEXT("srv.exe -serverkey=Bench"));
    sim::StartWorld("TheIsland_WP");
    AsaApi::GetHooks().InstallHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler,
                                   &quillmark::SavedConsoleCommand);
    sim::PlayerSetup setup;
    setup.eos_id = "00021f8e7d6c5b4a39281706f5e4d3c2";
    setup.character_name = "Rex Smith";
    setup.admin = true;
    setup.x = 1500.25, setup.y = -320, setup.z = 12.125;
    player_ = sim::AddPlayer(setup);
  }
  AShooterPlayerController* player() const { return player_; }

 private:
  AShooterPlayerController* player_;
};

const Started& Plugin() {
  static const Started started;
  return started;
}

nlohmann::json Config(bool webhook) {
  nlohmann::json config = {{"white-list", {"give", "suicide", "showmyadminmanager"}},
                           {"admins",
                            {{{"eosid", {"0002aaaa"}}, {"allowed-commands", {"*"}}},
                             {{"eosid", {"0002bbbb", "00021f8e7d6c5b4a39281706f5e4d3c2"}},
                              {"allowed-commands", {"fly", "ghost", "teleport"}}}}}};
  // Hand-over is refused, so that only the game thread's share is measured.
  if (webhook) config["discordwh"] = "http://127.0.0.1:9/api/webhooks/1/t";
  return config;
}

void RunCommand(benchmark::State& state, const HostChar* command, bool webhook) {
  const Started& plugin = Plugin();
  quillmark::UseConfiguration(Config(webhook));
  sim::SetRequestOptions({.refuse_handover = true});
  const HostText text(command);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sim::RunConsoleCommand(plugin.player(), text));
    (void)sim::TakeReceivedCommands();
  }
  sim::SetRequestOptions({});
}

void BM_GrantedCommand(benchmark::State& state) { RunCommand(state, HOST_TEXT("fly"), false); }
void BM_WhiteListedCommand(benchmark::State& state) {
  RunCommand(state, HOST_TEXT("GiveItemNum 121 1 0 0"), false);
}
void BM_BlockedCommand(benchmark::State& state) {
  RunCommand(state, HOST_TEXT("DestroyWildDinos"), false);
}
void BM_BlockedCommandWithWebhook(benchmark::State& state) {
  RunCommand(state, HOST_TEXT("DestroyWildDinos"), true);
}
BENCHMARK(BM_GrantedCommand);
BENCHMARK(BM_WhiteListedCommand);
BENCHMARK(BM_BlockedCommand);
BENCHMARK(BM_BlockedCommandWithWebhook);

void BM_FStringToNarrow(benchmark::State& state) {
  const FString text(HostText(static_cast<std::size_t>(state.range(0)), HostChar('a')).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::FStringToNarrow(text));
}
BENCHMARK(BM_FStringToNarrow)->Arg(32)->Arg(127)->Arg(128)->Arg(1000);

void BM_PositionText(benchmark::State& state) {
  const double value = state.range(0) == 0 ? 1500.25 : 1e300;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        quillmark::FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), value, value, value));
  }
}
BENCHMARK(BM_PositionText)->Arg(0)->Arg(1);

void BM_ServerLabelKept(benchmark::State& state) {
  (void)Plugin();
  (void)quillmark::GetServerLabel();
  for (auto _ : state) benchmark::DoNotOptimize(quillmark::GetServerLabel());
}
BENCHMARK(BM_ServerLabelKept);

}  // namespace

BENCHMARK_MAIN();
