// The framework's hook table in the simulated host: detours chained in front of game functions,
// the last installed running first, each one's saved entry leading to the next and finally to
// the game's own function. As in the framework, each detour belongs to the module its code lies
// in, removing one rebuilds the chain and sets the removed detour's saved entry to null, and
// the framework's own console-command and RCON detours, installed before any plugin's, run last.
#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {

ConsoleCommandFn framework_console_original = nullptr;
RconPacketFn framework_rcon_original = nullptr;

namespace {

constexpr char kConsoleCommand[] = "AShooterPlayerController.ConsoleCommand(FString&,bool)";
constexpr char kRconPacket[] = "RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)";

struct Detour {
  void* detour;
  void** original;
  void* owner;
};

class Hooks final : public AsaApi::IHooks {
 public:
  Hooks() : host_(ModuleOf(reinterpret_cast<const void*>(&FrameworkConsoleCommand))) {
    InstallOwn(kConsoleCommand, reinterpret_cast<void*>(&FrameworkConsoleCommand),
               reinterpret_cast<void**>(&framework_console_original));
    InstallOwn(kRconPacket, reinterpret_cast<void*>(&FrameworkRconPacket),
               reinterpret_cast<void**>(&framework_rcon_original));
  }

  bool RemoveHook(const std::string& name, void* detour) override {
    std::lock_guard lock(mutex_);
    auto it = chains_.find(name);
    if (it == chains_.end()) return false;
    auto& chain = it->second;
    const auto found = std::find_if(chain.begin(), chain.end(),
                                    [detour](const Detour& d) { return d.detour == detour; });
    if (found == chain.end()) return false;
    *found->original = nullptr;
    chain.erase(found);
    RelinkLocked(name, chain);
    return true;
  }

  bool InstallHook(const std::string& name, void* detour, void** original) override {
    std::lock_guard lock(mutex_);
    GameEntry(name);  // an unknown function is fatal, as in the framework
    auto& chain = chains_[name];
    for (const Detour& d : chain) {
      if (d.detour == detour) return false;
    }
    chain.insert(chain.begin(), Detour{detour, original, ModuleOf(detour)});
    RelinkLocked(name, chain);
    return true;
  }

  void* Entry(const std::string& name, void* game_entry) {
    std::lock_guard lock(mutex_);
    const auto it = chains_.find(name);
    return it == chains_.end() || it->second.empty() ? game_entry : it->second.front().detour;
  }

  int Count(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto it = chains_.find(name);
    if (it == chains_.end()) return 0;
    return static_cast<int>(std::count_if(it->second.begin(), it->second.end(),
                                          [this](const Detour& d) { return d.owner != host_; }));
  }

  // Takes off every detour `keep` does not keep; returns how many.
  template <typename Keep>
  int RemoveWhere(Keep keep) {
    std::lock_guard lock(mutex_);
    int removed = 0;
    for (auto& [name, chain] : chains_) {
      const auto before = chain.size();
      for (Detour& d : chain) {
        if (!keep(d)) *d.original = nullptr;
      }
      std::erase_if(chain, [&keep](const Detour& d) { return !keep(d); });
      if (chain.size() != before) RelinkLocked(name, chain);
      removed += static_cast<int>(before - chain.size());
    }
    return removed;
  }

  void* HostModule() const { return host_; }

 private:
  static void* GameEntry(const std::string& name) { return GetAddress(name); }

  // The framework's own detour, first in the chain and so the last to run.
  void InstallOwn(const char* name, void* detour, void** original) {
    auto& chain = chains_[name];
    chain.push_back({detour, original, host_});
    RelinkLocked(name, chain);
  }

  // Each detour's saved entry is the next detour in the chain, the last one's the game's own.
  static void RelinkLocked(const std::string& name, std::vector<Detour>& chain) {
    void* next = GameEntry(name);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      *it->original = next;
      next = it->detour;
    }
  }

  void* host_;
  std::mutex mutex_;
  std::unordered_map<std::string, std::vector<Detour>> chains_;
};

Hooks& TheHooks() {
  static auto* hooks = new Hooks();
  return *hooks;
}

}  // namespace

void* CurrentEntry(const std::string& name, void* game_entry) {
  return TheHooks().Entry(name, game_entry);
}
int HookCount(const std::string& name) { return TheHooks().Count(name); }
int RemoveAllHooks() {
  Hooks& hooks = TheHooks();
  return hooks.RemoveWhere([&hooks](const Detour& d) { return d.owner == hooks.HostModule(); });
}
void RemoveHooksOfModule(void* module) {
  (void)TheHooks().RemoveWhere([module](const Detour& d) { return d.owner != module; });
}

}  // namespace sim

AsaApi::IHooks& AsaApi::GetHooks() { return sim::TheHooks(); }
