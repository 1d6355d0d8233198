// The framework's commands in the simulated host: console and RCON commands and per-frame and
// per-second callbacks that modules register, each owned by the module whose code registered
// it, and the framework's own console-command and RCON detours that run them. As in the framework,
// a command matches on the first space-separated word of the text, letter case ignored, and a check
// runs over a copy of the registrations, so that a callback may add or remove some.
#include <functional>
#include <memory>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

bool SameName(const HostText& a, const HostChar* b) {
  return std::char_traits<HostChar>::length(b) == a.size() &&
         FGenericPlatformStricmp::Strnicmp(a.c_str(), b, a.size()) == 0;
}

// Names are kept as plain text: the host's own long-lived data takes no engine blocks.
template <typename Fn>
struct Registration {
  HostText name;
  std::function<Fn> callback;
  void* owner;
};
template <typename Fn>
using Registry = std::vector<std::shared_ptr<Registration<Fn>>>;

template <typename Fn>
bool RemoveFirst(Registry<Fn>& registry, const FString& name) {
  for (auto it = registry.begin(); it != registry.end(); ++it) {
    if (SameName((*it)->name, *name)) {
      registry.erase(it);
      return true;
    }
  }
  return false;
}

template <typename Fn>
void RemoveOwnedBy(Registry<Fn>& registry, void* owner) {
  for (const auto& r : registry) {
    if (r->owner == owner) r->callback = nullptr;  // a copy taken by a running check may outlive
  }
  std::erase_if(registry, [owner](const auto& r) { return r->owner == owner; });
}

// Runs the first registration whose name is the text's first word; true when one ran.
template <typename Fn, typename... Args>
bool RunMatching(const Registry<Fn>& registry, const FString& text, Args... args) {
  TArray<FString> words;
  text.ParseIntoArray(words, HOST_TEXT(" "), true);
  if (words.Num() == 0) return false;
  const Registry<Fn> copy = registry;
  for (const auto& r : copy) {
    if (r->callback && SameName(r->name, *words[0])) {
      r->callback(args...);
      return true;
    }
  }
  return false;
}

template <typename Fn, typename... Args>
void RunAll(const Registry<Fn>& registry, Args... args) {
  const Registry<Fn> copy = registry;
  for (const auto& r : copy) {
    if (r->callback) r->callback(args...);
  }
}

using ConsoleFn = void(APlayerController*, FString*, bool);
using RconFn = void(RCONClientConnection*, RCONPacket*, UWorld*);

// Every method is called on the game thread; which module registered is told by where the call
// came from, as the framework tells it.
class Commands final : public AsaApi::ICommands {
 public:
  void AddConsoleCommand(const FString& command,
                         const std::function<ConsoleFn>& callback) override {
    Add(console_, command, callback, ModuleOf(__builtin_return_address(0)));
  }
  void AddRconCommand(const FString& command, const std::function<RconFn>& callback) override {
    Add(rcon_, command, callback, ModuleOf(__builtin_return_address(0)));
  }
  void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) override {
    Add(tick_, id, callback, ModuleOf(__builtin_return_address(0)));
  }
  void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) override {
    Add(timer_, id, callback, ModuleOf(__builtin_return_address(0)));
  }
  // The same for a module a face of the host names.
  void AddConsoleOf(void* module, const FString& name, const std::function<ConsoleFn>& callback) {
    Add(console_, name, callback, module);
  }
  void AddRconOf(void* module, const FString& name, const std::function<RconFn>& callback) {
    Add(rcon_, name, callback, module);
  }
  void AddTickOf(void* module, const FString& id, const std::function<void(float)>& callback) {
    Add(tick_, id, callback, module);
  }
  void AddTimerOf(void* module, const FString& id, const std::function<void()>& callback) {
    Add(timer_, id, callback, module);
  }
  bool RemoveConsoleCommand(const FString& command) override {
    return RemoveFirst(console_, command);
  }
  bool RemoveRconCommand(const FString& command) override { return RemoveFirst(rcon_, command); }
  bool RemoveOnTickCallback(const FString& id) override { return RemoveFirst(tick_, id); }
  bool RemoveOnTimerCallback(const FString& id) override { return RemoveFirst(timer_, id); }

  bool CheckConsole(AShooterPlayerController* controller, FString* command, bool write_to_log) {
    return RunMatching(console_, *command, AsPlayerController(controller), command, write_to_log);
  }
  bool CheckRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
    return RunMatching(rcon_, packet->Body, connection, packet, world);
  }
  void Tick(float delta_seconds) { RunAll(tick_, delta_seconds); }
  void Timer() { RunAll(timer_); }
  void RemoveOwnedBy(void* owner) {
    sim::RemoveOwnedBy(console_, owner);
    sim::RemoveOwnedBy(rcon_, owner);
    sim::RemoveOwnedBy(tick_, owner);
    sim::RemoveOwnedBy(timer_, owner);
  }

  // Registrations made by the host itself (the framework's own commands).
  void AddOwn(const FString& command, const std::function<ConsoleFn>& console,
              const std::function<RconFn>& rcon) {
    void* host = ModuleOf(reinterpret_cast<const void*>(&FrameworkConsoleCommand));
    Add(console_, command, console, host);
    Add(rcon_, command, rcon, host);
  }

 private:
  template <typename Fn>
  static void Add(Registry<Fn>& registry, const FString& name, const std::function<Fn>& callback,
                  void* owner) {
    registry.push_back(
        std::make_shared<Registration<Fn>>(Registration<Fn>{HostText(*name), callback, owner}));
  }

  Registry<ConsoleFn> console_;
  Registry<RconFn> rcon_;
  Registry<void(float)> tick_;
  Registry<void()> timer_;
};

Commands& TheCommands() {
  static auto* commands = [] {
    auto* made = new Commands();
    RegisterFrameworkCommands([made](const FString& name, const auto& console, const auto& rcon) {
      made->AddOwn(name, console, rcon);
    });
    return made;
  }();
  return *commands;
}

}  // namespace

FString* FrameworkConsoleCommand(AShooterPlayerController* controller, FString* result,
                                 FString* command, bool write_to_log) {
  if (TheCommands().CheckConsole(controller, command, write_to_log)) command->Empty();
  return framework_console_original(controller, result, command, write_to_log);
}

void FrameworkRconPacket(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
  const auto authenticated = static_cast<bool>(*reinterpret_cast<const unsigned char*>(
      GetAddress(connection, "RCONClientConnection.IsAuthenticated")));
  if (authenticated && TheCommands().CheckRcon(connection, packet, world)) return;
  framework_rcon_original(connection, packet, world);
}

void RemoveCommandsOfModule(void* module) { TheCommands().RemoveOwnedBy(module); }

void AddConsoleCommandOf(void* module, const FString& name,
                         const ConsoleCommandCallback& callback) {
  TheCommands().AddConsoleOf(module, name, callback);
}
void AddRconCommandOf(void* module, const FString& name, const RconCommandCallback& callback) {
  TheCommands().AddRconOf(module, name, callback);
}
void AddTickCallbackOf(void* module, const FString& id,
                       const std::function<void(float)>& callback) {
  TheCommands().AddTickOf(module, id, callback);
}
void AddTimerCallbackOf(void* module, const FString& id, const std::function<void()>& callback) {
  TheCommands().AddTimerOf(module, id, callback);
}

void TickCommands(float delta_seconds) { TheCommands().Tick(delta_seconds); }
void TimerCommands() { TheCommands().Timer(); }

}  // namespace sim

AsaApi::ICommands& AsaApi::GetCommands() { return sim::TheCommands(); }
