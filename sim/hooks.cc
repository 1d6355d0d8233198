// The framework's hook table in the simulated host: detours chained in front of game functions,
// the last installed running first, each one's saved entry leading to the next and finally to
// the game's own function.
#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

struct Detour {
  void* detour;
  void** original;
};

class Hooks final : public AsaApi::IHooks {
 public:
  bool RemoveHook(const std::string& name, void* detour) override {
    std::lock_guard lock(mutex_);
    auto it = chains_.find(name);
    if (it == chains_.end()) return false;
    auto& chain = it->second;
    const auto found = std::find_if(chain.begin(), chain.end(),
                                    [detour](const Detour& d) { return d.detour == detour; });
    if (found == chain.end()) return false;
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
    chain.insert(chain.begin(), Detour{detour, original});
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
    return it == chains_.end() ? 0 : static_cast<int>(it->second.size());
  }

  int RemoveAll() {
    std::lock_guard lock(mutex_);
    int removed = 0;
    for (auto& [name, chain] : chains_) removed += static_cast<int>(chain.size());
    chains_.clear();
    return removed;
  }

 private:
  static void* GameEntry(const std::string& name) { return GetAddress(name.c_str()); }

  // Each detour's saved entry is the next detour in the chain, the last one's the game's own.
  static void RelinkLocked(const std::string& name, std::vector<Detour>& chain) {
    void* next = GameEntry(name);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      *it->original = next;
      next = it->detour;
    }
  }

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
int RemoveAllHooks() { return TheHooks().RemoveAll(); }

}  // namespace sim

AsaApi::IHooks& AsaApi::GetHooks() { return sim::TheHooks(); }
