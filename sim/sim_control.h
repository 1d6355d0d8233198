// Control of the simulated host: what a test, a benchmark or the stand-in server does to the
// simulated server from outside (players, the world, the command line, faults) and the counters
// it reads back. None of this is part of the host seam; the plugin never includes this header.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace sim {

// UTF-8 of host text; a lone surrogate becomes U+FFFD.
HOST_API std::string Utf8(const HostText& text);

// ----- Allocator ------------------------------------------------------------------------------
struct AllocatorStats {
  std::int64_t live_blocks = 0;
  std::int64_t live_bytes = 0;
  std::int64_t malloc_calls = 0;
  std::int64_t realloc_calls = 0;
  std::int64_t free_calls = 0;
  // Every call of the engine allocator, as a benchmark counts them.
  std::int64_t Calls() const { return malloc_calls + realloc_calls + free_calls; }
};
HOST_API AllocatorStats GetAllocatorStats();
// The n-th allocation from now on (1 = the next) throws std::bad_alloc, as running out of memory
// would; 0 turns the fault off.
HOST_API void FailAllocation(std::int64_t nth);

// ----- Server folder and log sinks -------------------------------------------------------------
// The folder GetCurrentDir reports; made absolute, trailing separators dropped.
HOST_API void SetServerDir(const std::string& dir);
// Replaces the host's sink list (before the plugin is loaded, as the server sets it up).
HOST_API void SetLogSinks(std::vector<spdlog::sink_ptr> sinks);
// The default list: one thread-safe console sink on standard output.
HOST_API void UseConsoleLogSink();
// Adds a thread-safe file sink that writes to `path` (truncated first).
HOST_API void AddLogFile(const std::string& path);
// No sinks at all: every line is made and goes nowhere (for benchmarks, which time the plugin,
// not the console).
HOST_API void UseNoLogSinks();

// ----- Wall clock ----------------------------------------------------------------------------
// Sets the UTC wall clock the plugin reads (GetSystemTimePreciseAsFileTime) to `utc_ms`
// milliseconds since 1970-01-01, from where it runs on with the real clock; 0 puts the real
// clock back. On Windows the plugin reads the system's clock, which this does not move.
HOST_API void SetWallClock(std::int64_t utc_ms);

// ----- Process command line ------------------------------------------------------------------
// Replaces what GetCommandLineW reports (until then it is this process's own, quoted).
HOST_API void SetCommandLine(const HostText& command_line);
// Blocks from CommandLineToArgvW not yet given back with LocalFree.
HOST_API std::int64_t LiveArgvBlocks();

// ----- The game world ------------------------------------------------------------------------
struct PlayerSetup {
  std::string eos_id;          // UTF-8
  std::string character_name;  // UTF-8
  bool admin = false;
  bool has_root_component = true;
  double x = 0, y = 0, z = 0;
};
// Creates the game mode with `map_name`; until then there is none, as while a server starts.
HOST_API void StartWorld(const std::string& map_name);
// Ends the world: no game mode, no players, no RCON.
HOST_API void StopWorld();
HOST_API void SetMapName(const std::string& map_name);
// A new player's controller, owned by the world until StopWorld.
HOST_API AShooterPlayerController* AddPlayer(const PlayerSetup& setup);
HOST_API void SetAdmin(AShooterPlayerController* controller, bool admin);
HOST_API void SetPosition(AShooterPlayerController* controller, double x, double y, double z);
HOST_API void SetCharacterName(AShooterPlayerController* controller, const std::string& name);

// What the game's own console-command function received, and the commands it ran: the engine's
// console splits a line into parts (see ConsoleParts) and runs each; blank parts run nothing.
struct ReceivedCommand {
  AShooterPlayerController* controller = nullptr;
  HostText command;
  bool write_to_log = false;
  std::vector<HostText> parts;
};
// The game calls its console-command function (through whatever is hooked in front of it) as
// when a player typed `command`: with the write-to-log flag true, the engine's default, so that
// the output goes to the game's log (see TakeEngineLog) and the call returns an empty text.
HOST_API HostText RunConsoleCommand(AShooterPlayerController* controller, const HostText& command);
// The same call as a plugin makes it on the player's controller (a shop's kit, the framework's
// hidden commands): the flag false, so that the game returns the output; with `as_admin`, the
// player's administrator bit raised just before the call and put back just after, as the shop
// does for an item that says "ExecuteAsAdmin". Returns what the call returned.
HOST_API HostText RunPluginCommand(AShooterPlayerController* controller, const HostText& command,
                                   bool as_admin = false);
// What the game wrote to its own log (not the framework's log outputs) since last asked: the
// output of the commands it was handed with the write-to-log flag true.
HOST_API std::vector<HostText> TakeEngineLog();
HOST_API std::vector<ReceivedCommand> TakeReceivedCommands();
// How the engine's console splits one line into the commands it runs: at '|' outside double
// quotes and at line breaks; "//" outside quotes starts a comment that runs to the part's end.
HOST_API std::vector<HostText> ConsoleParts(const HostText& line);

// What the server showed players as server messages (the framework's console commands answer
// so).
struct ServerMessage {
  AShooterPlayerController* controller = nullptr;
  HostText text;
};
HOST_API std::vector<ServerMessage> TakeServerMessages();

// ----- RCON ------------------------------------------------------------------------------------
// The server's ServerAdminPassword, which RCON clients authenticate with (empty: none).
HOST_API void SetServerAdminPassword(const std::string& password);
// An RCON request with the text `command`, on the server's own connection (authenticated, from
// 127.0.0.1, made on first use) and through whatever is hooked in front of the game's RCON
// handler: a command a module registered runs, else the game answers. Returns what was sent
// back. Game thread.
HOST_API std::vector<HostText> RunRconCommand(const HostText& command);
// A new RCON connection, not authenticated, whose socket's description is `peer`, as when a
// client connects; owned by the world until StopWorld. Game thread.
HOST_API RCONClientConnection* OpenRconConnection(const std::string& peer);
// What the game sent back on a connection: the packet's id, type and text.
struct RconReply {
  int id = 0;
  int type = 0;
  HostText text;
  bool operator==(const RconReply&) const = default;
};
// A packet of `type` with `body` (and the next id) on `connection`, through whatever is hooked in
// front of the game's RCON handler; returns what was sent back for it. Game thread.
HOST_API std::vector<RconReply> SendRconPacket(RCONClientConnection* connection, int type,
                                               const HostText& body);
// Listens for RCON clients (Source RCON over TCP) on 127.0.0.1:`port`, 0 for any free port, on
// a thread of its own; their packets are handled on the game thread during frames. Returns the
// port, or 0 with the reason in `error`. StopWorld stops it.
HOST_API int StartRconListener(int port, std::string* error = nullptr);
// Clients of the listener that have disconnected or been closed since the start. Game thread.
HOST_API std::int64_t RconClientsGone();
// What the listener has to say, oldest first: where it listens, clients connected and gone, and
// why a client was closed.
HOST_API std::vector<std::string> TakeRconNotes();

// ----- The framework: frames, plugins ----------------------------------------------------------
// One frame of the game loop on the calling thread, which is the game thread: every tick
// callback runs in the order registered, the request service's own among them (registered at
// its first use, as the framework's is, it runs the callbacks of the results that have arrived
// after the tick callbacks registered before that); once a second of wall time has passed since
// they last ran, the timer callbacks run too.
HOST_API void Tick(float delta_seconds = 1.0F / 60);
// Frames, one every `FrameInterval`, until `done` answers true (checked before each frame) or
// `timeout` passes. True when `done` answered true.
HOST_API bool RunFramesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
HOST_API void RunFrames(std::chrono::milliseconds duration);
HOST_API void SetFrameInterval(std::chrono::milliseconds interval);  // 16 ms unless set

// Where the plugin `name`'s library is, instead of ArkApi/Plugins/<name>/<name>.dll (.so).
HOST_API void SetPluginLibrary(const std::string& name, const std::string& path);
// Loads and unloads plugins as the framework's plugin manager does (see plugins.cc). False with
// the framework's reason in `error` when it fails.
HOST_API bool LoadPlugin(const std::string& name, std::string* error = nullptr);
HOST_API bool UnloadPlugin(const std::string& name, std::string* error = nullptr);
HOST_API bool IsPluginLoaded(const std::string& name);
// Where the framework loads the plugin `name`'s library from (see SetPluginLibrary); its update
// file, "<that path>.ArkApi", is looked for beside it.
HOST_API std::string PluginLibraryPath(const std::string& name);
// An export of a loaded plugin's library, or null.
HOST_API void* FindPluginExport(const std::string& name, const char* symbol);
// Ends the process as Windows ends it, with exit status `code`: the program's own exit work,
// then every library still loaded told of the detach with a non-null reserved argument (the
// process is ending, under the loader lock; nothing is unloaded first), then its globals'
// destructors. The framework unloads no plugin on the way.
[[noreturn]] HOST_API void EndProcess(int code);
// Ends the process at once with exit status `code`, as a crash or a kill does: no exit work, no
// library told, nothing flushed.
[[noreturn]] HOST_API void KillProcess(int code);

// ----- The Permissions plugin ----------------------------------------------------------------
// Another plugin of the server, which keeps groups of players. The simulated server keeps its
// groups per EOS id and whether it is loaded; while it is loaded the host seam hands out its
// exports (host::FindPermissionsExport). On Windows the Permissions.dll stand-in, loaded by the
// framework from ArkApi/Plugins/Permissions/, serves the same groups. Game thread.
//
// Puts the player with `eos_id` (UTF-8) into `group`, or takes them out; a player's groups keep
// the order they were joined in.
HOST_API void SetPlayerGroup(const std::string& eos_id, const std::string& group, bool member);
// Loads or unloads the Permissions plugin. Where the framework finds a library of it
// (PluginLibraryPath("Permissions")), that is loaded or unloaded as the framework does, but
// unloaded even though its PluginInfo.json prevents unloading: a server cannot do that while it
// runs, so this stands for a server started without it, or whose operator allowed it.
// Otherwise only the model changes. False with the framework's reason in `error`.
HOST_API bool SetPermissionsLoaded(bool loaded, std::string* error = nullptr);
HOST_API bool PermissionsLoaded();
struct PermissionsStats {
  std::int64_t player_groups = 0;  // calls of GetPlayerGroups
  std::int64_t in_group = 0;       // calls of IsPlayerInGroup
};
HOST_API PermissionsStats GetPermissionsStats();
// No groups, not loaded, no calls counted (between tests).
HOST_API void ResetPermissions();

// ----- Hooks ---------------------------------------------------------------------------------
// Detours installed in front of the named function.
HOST_API int HookCount(const std::string& name);
// Takes off every detour the plugins installed, whatever faults are set.
HOST_API int RemoveAllHooks();
// Faults of the framework's hooking transactions (it suspends the server's threads to patch a
// function, which can fail). While `install` is set every installation fails: false, the saved
// entry set to null, an error line. While `remove` is set every removal of an installed detour
// fails, also the framework's own when it unloads a module: false, "DisableHook transaction
// failed" logged, the detour stays in the chain. With `hooks_do_not_throw` (the framework's
// setting HooksDoNotThrow) an unknown function gives false and an error line instead of ending
// the process.
struct HookFaults {
  bool install = false;
  bool remove = false;
  bool hooks_do_not_throw = false;
};
HOST_API void SetHookFaults(const HookFaults& faults);

// ----- Requests ------------------------------------------------------------------------------
struct RequestOptions {
  // Caps every time-out a request asks for (or the defaults of 30 s to connect and 60 s to send
  // and receive); zero leaves them as asked. For tests, which cannot wait a minute.
  std::chrono::milliseconds max_timeout{0};
  std::size_t queue_capacity = 256;    // requests handed over and not yet completed
  std::chrono::milliseconds delay{0};  // held back this long before being sent
  bool refuse_handover = false;        // CreatePostRequest returns false
  // Callbacks run on the service's own thread as soon as a request completes, instead of on the
  // game thread during the next frame as the framework runs them.
  bool deliver_on_worker = false;
  // CreatePostRequest throws std::system_error after it has taken the request and its callback,
  // as the framework's does when starting the request's thread fails. (There the callback then
  // never runs and stays registered until the module unloads; here the request goes on and its
  // callback runs later, the harder case for a caller that has given the post up.)
  bool throw_after_handover = false;
};
HOST_API void SetRequestOptions(const RequestOptions& options);
struct RequestStats {
  std::int64_t handed_over = 0;
  std::int64_t sent = 0;       // delivered with a 2xx status
  std::int64_t failed = 0;     // delivered otherwise
  std::int64_t dropped = 0;    // refused at hand-over
  std::int64_t discarded = 0;  // completed after their module was unloaded: callback never ran
};
HOST_API RequestStats GetRequestStats();
// Requests handed over whose callback has neither run nor been dropped.
HOST_API std::int64_t PendingRequests();
// Runs frames on the calling thread (the game thread) until every request handed over so far
// has completed and its callback has returned, or until `timeout` passes. True when nothing is
// pending.
HOST_API bool DrainRequests(std::chrono::milliseconds timeout);
// Ends every request still in transfer: each completes as a transport failure.
HOST_API void CancelRequests();

}  // namespace sim
