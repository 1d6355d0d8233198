// What one console command costs the game thread through the plugin library as a server loads
// it: the game calls its console-command function, which the plugin's detour stands in front
// of, then the framework's, then the game's own. Built for Linux (the plugin library on the
// simulated host) and for Windows (the DLL to deploy, loaded by the framework stand-in, run
// under Wine), so that the two builds' figures can be set side by side; the handler alone is
// measured, case by case and against its budget, by handler_bench. Google Benchmark is not
// among the libraries the Windows toolchain has, so this program times commands itself: each
// case runs its command many times, each call timed on its own, and prints the median, the
// 99th percentile and the slowest, with the engine allocator's calls per command.
//
//   library_bench --plugin FILE [--commands N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/server/platform.h"
#include "sim/sim_control.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kEosId[] = "00021f8e7d6c5b4a39281706f5e4d3c2";

// A configuration with `admins` entries (the player's last) and "give" last of three white-list
// entries; the webhook, when there is one, never answers.
nlohmann::json Config(int admins, bool webhook) {
  nlohmann::json config = {{"white-list", {"cmd1", "cmd2", "give"}},
                           {"admins", nlohmann::json::array()}};
  for (int i = 1; i < admins; ++i) {
    char id[33];
    std::snprintf(id, sizeof id, "0002%028x", i);
    config["admins"].push_back({{"eosid", {id}}, {"allowed-commands", {"fly", "ghost"}}});
  }
  config["admins"].push_back({{"eosid", {kEosId}}, {"allowed-commands", {"fly", "teleport"}}});
  if (webhook) config["discordwh"] = "http://127.0.0.1:9/api/webhooks/1/t";
  return config;
}

struct Case {
  const char* name;
  const char* command;  // null: the game's path without the plugin
  int admins;
  bool webhook;
};

struct Figures {
  double median_ns = 0, p99_ns = 0, max_ns = 0, engine_calls = 0;
};

Figures Time(AShooterPlayerController* player, const HostText& command, int count) {
  std::vector<double> each;
  each.reserve(static_cast<std::size_t>(count));
  const std::int64_t calls = sim::GetAllocatorStats().Calls();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    (void)sim::RunConsoleCommand(player, command);
    each.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
    if (i % 1024 == 0) (void)sim::TakeReceivedCommands();
  }
  (void)sim::TakeReceivedCommands();
  std::sort(each.begin(), each.end());
  const auto at = [&each](double q) {
    return each[std::min(each.size() - 1, static_cast<std::size_t>(q * each.size()))];
  };
  return {
      at(0.5), at(0.99), each.back(),
      static_cast<double>(sim::GetAllocatorStats().Calls() - calls) / static_cast<double>(count)};
}

std::string Shown(double ns) {
  char text[32];
  if (ns < 1000) {
    std::snprintf(text, sizeof text, "%.0f ns", ns);
  } else {
    std::snprintf(text, sizeof text, "%.2f µs", ns / 1000);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugin;
  int count = 100000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--plugin") plugin = argv[i + 1];
    if (option == "--commands") count = std::max(100, std::atoi(argv[i + 1]));
  }
  if (plugin.empty()) {
    std::fputs("usage: library_bench --plugin FILE [--commands N]\n", stderr);
    return 2;
  }
  std::string error;
  if (!sim::server::StartFramework(error)) {
    std::fprintf(stderr, "library_bench: %s\n", error.c_str());
    return 1;
  }
  const auto dir = std::filesystem::temp_directory_path() / "quillmark-library-bench";
  const auto config_path = dir / "ArkApi" / "Plugins" / "quillmark" / "config.json";
  std::filesystem::create_directories(config_path.parent_path());
  const auto write_config = [&config_path](const nlohmann::json& config) {
    std::ofstream(config_path, std::ios::binary) << config.dump();
  };
  write_config(Config(10, false));
  sim::SetServerDir(dir.string());
  sim::UseNoLogSinks();
  sim::StartWorld("TheIsland_WP");
  sim::PlayerSetup setup;
  setup.eos_id = kEosId;
  setup.character_name = "Rex Smith";
  setup.admin = true;
  setup.x = 1500.25, setup.y = -320, setup.z = 12.125;
  AShooterPlayerController* player = sim::AddPlayer(setup);

  const Case cases[] = {
      {"the simulated game's console path, no plugin", nullptr, 10, false},
      {"granted command, 10 admin entries", "fly", 10, false},
      {"white-listed command, 10 admin entries", "GiveItemNum 121 1 0 0", 10, false},
      {"blocked command, 10 admin entries", "DestroyWildDinos", 10, false},
      {"granted, 100,000 admin entries", "fly", 100000, false},
      {"blocked, 100,000 admin entries", "DestroyWildDinos", 100000, false},
      {"blocked, webhook hung (hand-over)", "DestroyWildDinos", 10, true},
  };
  std::printf(
      "| case | median | p99 | max | FMemory calls |\n| --- | ---: | ---: | ---: | ---: |\n");
  bool loaded = false;
  for (const Case& c : cases) {
    if (c.command == nullptr) {
      const Figures f = Time(player, AsaApi::Tools::Utf8Decode("fly"), count);
      std::printf("| %s | %s |  |  |  |\n", c.name, Shown(f.median_ns).c_str());
      continue;
    }
    write_config(Config(c.admins, c.webhook));
    sim::SetRequestOptions({.delay = std::chrono::hours(c.webhook ? 1 : 0)});
    if (!loaded) {
      sim::SetPluginLibrary("quillmark", plugin);
      if (!sim::LoadPlugin("quillmark", &error)) {
        std::fprintf(stderr, "library_bench: %s\n", error.c_str());
        return 1;
      }
      loaded = true;
    } else {
      (void)sim::RunRconCommand(AsaApi::Tools::Utf8Decode("quillmark.reload"));
    }
    const Figures f = Time(player, AsaApi::Tools::Utf8Decode(c.command), count);
    std::printf("| %s | %s | %s | %s | %.0f |\n", c.name, Shown(f.median_ns).c_str(),
                Shown(f.p99_ns).c_str(), Shown(f.max_ns).c_str(), f.engine_calls);
    std::fflush(stdout);
  }
  (void)sim::UnloadPlugin("quillmark");
  sim::CancelRequests();
  (void)sim::DrainRequests(std::chrono::seconds(5));
  sim::StopWorld();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
