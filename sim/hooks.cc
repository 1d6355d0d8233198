// The framework's hook table in the simulated host: detours chained in front of game functions,
// the last installed running first, each one's saved entry leading to the next and finally to
// the game's own function. As in the framework, each detour belongs to the module its code lies
// in; installing does not reject a detour already installed (the chain then leads the detour to
// itself); a failed hooking transaction leaves the saved entry null; removing one rebuilds the
// chain, rewriting the survivors' saved entries and setting the removed one's to null, and a
// failed removal leaves the detour where it is; an unknown function is fatal unless the
// framework's HooksDoNotThrow is set. The framework's own console-command and RCON detours,
// installed before any plugin's, run last.
//
// Where it knowingly differs: the framework's transactions fail when suspending the server's
// threads fails; here they fail only when a test says so (SetHookFaults). A removal refused
// because a rebuild of the same chain is in progress on another thread cannot arise: the table
// is changed under one lock.
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
    return RemoveLocked(name, detour);
  }

  bool InstallHook(const std::string& name, void* detour, void** original) override {
    std::lock_guard lock(mutex_);
    if (!Known(name)) return false;
    if (faults_.install) {
      *original = nullptr;
      FrameworkLog(kLogError, "Hook failed for " + name + " (transaction failed)");
      return false;
    }
    auto& chain = chains_[name];
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

  // Takes off every detour the plugins installed, faults or not; returns how many.
  int RemoveAll() {
    std::lock_guard lock(mutex_);
    int removed = 0;
    for (auto& [name, chain] : chains_) {
      const auto before = chain.size();
      for (Detour& d : chain) {
        if (d.owner != host_) *d.original = nullptr;
      }
      std::erase_if(chain, [this](const Detour& d) { return d.owner != host_; });
      if (chain.size() != before) RelinkLocked(name, chain);
      removed += static_cast<int>(before - chain.size());
    }
    return removed;
  }

  // As the framework does before it frees a module: each of the module's detours is removed as
  // RemoveHook removes it, and one whose removal fails stays, with an error line.
  void RemoveOfModule(void* module) {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, void*>> owned;
    for (const auto& [name, chain] : chains_) {
      for (const Detour& d : chain) {
        if (d.owner == module) owned.emplace_back(name, d.detour);
      }
    }
    for (const auto& [name, detour] : owned) {
      if (!RemoveLocked(name, detour)) {
        FrameworkLog(kLogError, "FATAL: hook for " + name +
                                    " could not be removed. FreeLibrary will proceed with a "
                                    "dangling hook");
      }
    }
  }

  void SetFaults(const HookFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
  }

 private:
  static void* GameEntry(const std::string& name) { return GetAddress(name); }

  // An unknown function is fatal, as in the framework, unless HooksDoNotThrow is set.
  bool Known(const std::string& name) const {
    if (!faults_.hooks_do_not_throw || IsFunctionKnown(name)) {
      (void)GameEntry(name);
      return true;
    }
    FrameworkLog(kLogError, name + " does not exist");
    return false;
  }

  bool RemoveLocked(const std::string& name, void* detour) {
    if (!Known(name)) return false;
    auto it = chains_.find(name);
    if (it == chains_.end()) return false;
    auto& chain = it->second;
    const auto found = std::find_if(chain.begin(), chain.end(),
                                    [detour](const Detour& d) { return d.detour == detour; });
    if (found == chain.end()) return false;
    if (faults_.remove) {
      FrameworkLog(kLogError,
                   "DisableHook transaction failed for " + name + " (transaction failed)");
      return false;
    }
    *found->original = nullptr;
    chain.erase(found);
    RelinkLocked(name, chain);
    return true;
  }

  // The framework's own detour, first in the chain and so the last to run.
  void InstallOwn(const char* name, void* detour, void** original) {
    auto& chain = chains_[name];
    chain.push_back({detour, original, host_});
    RelinkLocked(name, chain);
  }

  // Each detour's saved entry is the next detour in the chain, the last one's the game's own. A
  // detour installed twice keeps the entry written last, its own: it calls itself.
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
  HookFaults faults_;
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
void RemoveHooksOfModule(void* module) { TheHooks().RemoveOfModule(module); }
void SetHookFaults(const HookFaults& faults) { TheHooks().SetFaults(faults); }

}  // namespace sim

AsaApi::IHooks& AsaApi::GetHooks() { return sim::TheHooks(); }
