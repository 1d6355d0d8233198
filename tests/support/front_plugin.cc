// A plugin for testing what another plugin loaded after this one can do: it hooks the game's
// console command and its RCON handler, in front of every plugin loaded before it, and keeps to
// itself every command whose text begins with "hidden", which then reaches neither the plugins
// behind it nor the game.
#include "host/host.h"

namespace {

constexpr char kConsoleHook[] = "AShooterPlayerController.ConsoleCommand(FString&,bool)";
constexpr char kRconHook[] = "RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)";
ConsoleCommandFn console_original = nullptr;
RconPacketFn rcon_original = nullptr;

bool Hidden(const FString& text) {
  return FGenericPlatformStricmp::Strnicmp(*text, HOST_TEXT("hidden"), 6) == 0;
}

FString* Console(AShooterPlayerController* controller, FString* result, FString* command,
                 bool write_to_log) {
  if (Hidden(*command)) return result;
  return console_original(controller, result, command, write_to_log);
}

void Rcon(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
  if (packet->Type == kRconExecCommand && Hidden(packet->Body)) return;
  rcon_original(connection, packet, world);
}

}  // namespace

extern "C" {

HOST_PLUGIN_EXPORT void Plugin_Init() {
  (void)AsaApi::GetHooks().InstallHook(kConsoleHook, &Console, &console_original);
  (void)AsaApi::GetHooks().InstallHook(kRconHook, &Rcon, &rcon_original);
}

}  // extern "C"
