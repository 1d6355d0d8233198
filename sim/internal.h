// Pieces of the simulated host shared between its own files; not for the plugin or tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"

namespace sim {

// Writes the message to standard error and ends the process, as the real framework does on an
// unknown key or a corrupted heap.
[[noreturn]] void Fatal(const char* format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void* EngineMalloc(std::size_t count, std::uint32_t alignment);
void* EngineRealloc(void* block, std::size_t count, std::uint32_t alignment);
void EngineFree(void* block);

// Whether GetAddress knows the function `name`.
bool IsFunctionKnown(const std::string& name);

// The game's own functions, reached through GetAddress.
FString* GameConsoleCommand(AShooterPlayerController* controller, FString* result, FString* command,
                            bool write_to_log);
FString* GamePlayerCharacterName(AShooterPlayerController* controller, FString* result);
FString* GameMapName(AShooterGameMode* game_mode, FString* result);
// The player's unique net id as text: on this server, the EOS id.
FString* GameUniqueNetIdAsString(AShooterPlayerController* controller, FString* result);
// A chat line from the server to one player, as the framework's server messages send it.
struct LinearColor {
  float r, g, b, a;
};
void GameServerChatDirectMessage(AShooterPlayerController* controller, const FString* message,
                                 LinearColor color, bool bold, const FString* sender);
// The controller of the player with that EOS id, or null.
AShooterPlayerController* FindPlayer(const HostText& eos_id);
// The engine's base of a shooter controller.
APlayerController* AsPlayerController(AShooterPlayerController* controller);
// The game's RCON handler, "RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)": it
// authenticates a connection by the server's password and answers a command of an
// authenticated one; and the function its answers go out through,
// "RCONClientConnection.SendMessage(int,int,FString&)".
void GameProcessRconPacket(RCONClientConnection* self, RCONPacket* packet, UWorld* world);
void GameRconSendMessage(RCONClientConnection* self, int id, int type, FString* message);
// The RCON connection's fields by key, with their offsets.
std::vector<std::pair<std::string_view, std::size_t>> RconFields();
// The game's per-frame RCON work: the events of the listener's clients (connected, a packet,
// gone), a bounded number a frame.
void TickRcon();
// Ends RCON with the world: the listener stopped, every connection gone.
void EndRcon();

// The framework's own detour in front of the game's console-command function, installed before
// any plugin's, so that it runs after them: it runs a registered console command, then hands
// the game the command, emptied when one ran.
FString* FrameworkConsoleCommand(AShooterPlayerController* controller, FString* result,
                                 FString* command, bool write_to_log);
// Where the framework's detour continues: the game's function.
extern ConsoleCommandFn framework_console_original;
// The framework's own detour in front of the game's RCON handler, installed before any
// plugin's: for an authenticated connection it offers the packet to the registered RCON
// commands and calls the game's handler only when none took it.
void FrameworkRconPacket(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
extern RconPacketFn framework_rcon_original;

// The entry the game calls for a hooked function: the first detour, or the game's own.
void* CurrentEntry(const std::string& name, void* game_entry);
// Takes off every detour the module installed, as the framework does before it frees a module.
void RemoveHooksOfModule(void* module);
// Takes away every command and callback the module registered.
void RemoveCommandsOfModule(void* module);
// Drops the module's request callbacks that have not run; waits for one that is running.
void DropRequestCallbacksOfModule(void* module);
// The framework's per-frame work: the tick callbacks in the order they were registered (the
// request service's among them, from its first use on).
void TickCommands(float delta_seconds);
void TimerCommands();
// Registers the framework's own console and RCON commands (plugins.load, plugins.unload)
// through `add`.
using ConsoleCommandCallback = std::function<void(APlayerController*, FString*, bool)>;
using RconCommandCallback = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;
void RegisterFrameworkCommands(
    const std::function<void(const FString&, const ConsoleCommandCallback&,
                             const RconCommandCallback&)>& add);
// Registrations owned by `module`, for a face of the host that tells which module registered.
void AddConsoleCommandOf(void* module, const FString& name, const ConsoleCommandCallback& callback);
void AddRconCommandOf(void* module, const FString& name, const RconCommandCallback& callback);
void AddTickCallbackOf(void* module, const FString& id, const std::function<void(float)>& callback);
void AddTimerCallbackOf(void* module, const FString& id, const std::function<void()>& callback);
// Hands a POST over for the module holding `caller` (an address in its code); false when it
// was refused, or when no module holds that address.
bool PostFor(const void* caller, const std::string& url, const API::Requests::Callback& callback,
             const std::string& body, const std::string& content_type,
             std::vector<std::string> headers, long connect_seconds, long receive_seconds);
// The request service's per-frame work: runs the callbacks of the results that have arrived.
void DeliverRequestResults();

// ----- Modules ---------------------------------------------------------------------------------
// The module (its handle: the image base) that holds the code or data at `address`; null when
// none does. How the framework tells which plugin installed a hook or made a request.
void* ModuleOf(const void* address);
// Loads the library at `path` as the framework does (its DllMain told of the attach); null with
// `error` and Windows' error code (1114 when DllMain refused) otherwise. A library already
// loaded gets one more reference.
void* OpenLibrary(const std::string& path, std::string& error, int& error_code);
// The library's export `name`, or null.
void* FindExport(void* module, const char* name);
// Gives back one reference; the last unloads the library.
bool CloseLibrary(void* module);
// Windows' error code of the last loader call that failed on this thread (GetLastError).
int LastLoaderError();
#if !defined(_WIN32)
// Whether the dynamic linker still has the library at `path` mapped, for the imitation of
// Windows' refusal to overwrite a mapped image.
bool LibraryStillMapped(const std::string& path);
#endif
// The framework's automatic reload of plugins, run by the game state's timer after the timer
// callbacks: every interval its config.json sets, each loaded plugin with an update file beside
// its library is unloaded, the file put in place of the library and the plugin loaded again.
void DetectPluginChanges();

// Unloads the plugin as UnloadPlugin does, even when its PluginInfo.json prevents unloading.
bool UnloadPluginAnyway(const std::string& name, std::string* error);

// ----- The Permissions plugin's data (permissions.cc), for each face that serves it ------------
// Each call of the first two counts as one call of GetPlayerGroups or IsPlayerInGroup.
std::vector<HostText> PermissionsGroupsOf(const HostText& eos_id);
bool PermissionsHasGroup(const HostText& eos_id, const HostText& group);
void SetPlayerGroup(const HostText& eos_id, const HostText& group, bool member);
std::vector<HostText> PermissionsMembersOf(const HostText& group);

// ----- The framework's log -----------------------------------------------------------------
// Writes one line of the framework's own logger ("API") into the server's log sinks.
void FrameworkLog(int level, const std::string& text);
// Another face of the host that owns the server's log sinks (see face.h): the console and the
// files the server asks for become its sinks, and the framework's lines are written through it.
struct LogRoute {
  std::function<void()> use_nothing;
  std::function<void()> use_console;
  std::function<void(const std::string& path)> add_file;
  std::function<void(int level, const std::string& text)> write;
};
void SetLogRoute(LogRoute route);
inline constexpr int kLogInfo = 2;
inline constexpr int kLogWarn = 3;
inline constexpr int kLogError = 4;

// UTF-8 -> host text and back (invalid input becomes U+FFFD).
HostText DecodeUtf8(const std::string& text);
std::string EncodeUtf8(const HostText& text);

}  // namespace sim
