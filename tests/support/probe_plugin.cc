// A plugin for testing the stand-in server's loader: it installs a hook, registers a console
// command and a tick callback and hands over a request, and at each of its entry points writes
// to standard output what the framework has done so far, so that a test can read the order.
// With QUILLMARK_PROBE_REFUSE set, its DllMain refuses the attach.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "host/host.h"
#include "sim/sim_control.h"

namespace {

constexpr char kHook[] = "AShooterPlayerController.ConsoleCommand(FString&,bool)";
ConsoleCommandFn original = nullptr;
int ticks = 0;

FString* Detour(AShooterPlayerController* controller, FString* result, FString* command,
                bool write_to_log) {
  return original(controller, result, command, write_to_log);
}

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("[probe] ", stdout);
  std::vprintf(format, args);
  std::fputs("\n", stdout);
  std::fflush(stdout);
  va_end(args);
}

}  // namespace

extern "C" {

HOST_PLUGIN_EXPORT void Plugin_Init() {
  AsaApi::GetHooks().InstallHook(kHook, &Detour, &original);
  AsaApi::GetCommands().AddConsoleCommand(
      FString(HOST_TEXT("probe")), [](APlayerController*, FString*, bool) {
        Say("console command ran, ticks %s", ticks > 0 ? "seen" : "none");
      });
  AsaApi::GetCommands().AddOnTickCallback(FString(HOST_TEXT("probe")), [](float) { ++ticks; });
  if (const char* url = std::getenv("QUILLMARK_PROBE_URL")) {
    API::Requests::Get().CreatePostRequest(
        url, [](bool, std::string, auto) { Say("request callback ran"); }, "{}", "application/json",
        {}, 1, 1, 1);
  }
  Say("init: hooks=%d", sim::HookCount(kHook));
}

HOST_PLUGIN_EXPORT void Plugin_Unload() {
  Say("unload: hooks=%d pending=%lld", sim::HookCount(kHook),
      static_cast<long long>(sim::PendingRequests()));
}

HOST_LOADER_ENTRY int HOST_WINAPI DllMain(void*, unsigned long reason, void*) {
  if (reason == 1 && std::getenv("QUILLMARK_PROBE_REFUSE") != nullptr) {
    Say("attach refused");
    return 0;
  }
  if (reason == 0) {
    const bool removed = AsaApi::GetHooks().RemoveHook(kHook, &Detour);
    const bool command = AsaApi::GetCommands().RemoveConsoleCommand(FString(HOST_TEXT("probe")));
    Say("detach: hooks=%d original=%s remove-hook=%s remove-command=%s pending=%lld listed=%s",
        sim::HookCount(kHook), original == nullptr ? "null" : "set", removed ? "true" : "false",
        command ? "true" : "false", static_cast<long long>(sim::PendingRequests()),
        sim::IsPluginLoaded("quillmark") ? "true" : "false");
  }
  return 1;
}

}  // extern "C"
