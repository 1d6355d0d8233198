// The plugin's entry points and its start and stop. The framework loads the library and calls
// the export Plugin_Init, which starts the plugin; before it unloads the library it calls the
// export Plugin_Unload, which stops it. Start and stop may alternate any number of times in one
// loaded library.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace quillmark {

// Creates the logger over the host's sinks, registers the RCON command "quillmark.reload", loads
// config.json and starts policing (see StartPolicing). When the configuration cannot be loaded,
// its error's text is logged at error level, the plugin waits for a configuration and the
// error is thrown on: nothing is policed, a line at most once a minute says so, and a reload
// over RCON that loads the file starts policing. Game thread.
void InitPlugin();

// Whether console commands are policed: a configuration is in force and the handler installed.
// Game thread.
bool Policing();

// Puts the configuration in force to work: delivery started, the command handler in front of the
// game's console-command function, the RCON handler in front of its RCON packet handler, and the
// console command "quillmark.reload" registered. True when console commands are policed. When
// the framework cannot install the command handler, an error line says that nothing is policed
// and the plugin goes on waiting (a reload tries again); when only the RCON handler fails, a
// line says RCON commands are not audited. A handler already in the chain is not installed
// again. Nothing when the plugin already polices (true) or is stopped (false). Game thread.
bool StartPolicing();
// What StartPolicing's failure means, as the lines and replies say it.
inline constexpr char kNotHooked[] =
    "the hook on the game's console command could not be installed";

// While the plugin waits for a configuration: `why` config.json still does not load, which the
// reminder says from now on. Game thread.
void StillWaitingForConfiguration(const std::string& why);

// Takes the handlers off, stops delivery and forgets everything the start made (configuration,
// logger, server label), so that InitPlugin may run again. The commands and callbacks it
// registered are left for the framework, which takes them away right after. When it is called
// from inside a detour or command callback of the plugin, the library stays loaded for a few
// seconds after the framework frees it; otherwise it goes when the framework frees it. A handler
// the framework could not take off stays in the chain, handing everything to the game
// untouched, with the entry it saved, and the library stays loaded for good; an error line says
// so. Game thread.
void ShutdownPlugin();

// The process is ending without the plugin having been unloaded: the server shutting down,
// which unloads no plugin (DllMain's detach with a non-null reserved argument). It runs under
// the loader lock, on whichever thread ends the process, after every other thread was stopped
// wherever it was, so that a lock may be held for good: nothing here waits for a lock, calls
// into the framework (no hook taken off, no request, no engine memory) or posts. What can still
// be written without waiting goes here, so that the shutdown loses nothing without a word: the
// journal's "stop" record, with one write, and one error line with the count of notifications
// not delivered to Discord (when any), in each sink of the server log whose lock is free.
// Nothing when the plugin is stopped. Never throws.
void OnProcessExit() noexcept;

}  // namespace quillmark

extern "C" {
// The framework's start and stop; no exception leaves them. Game thread.
HOST_PLUGIN_EXPORT void Plugin_Init();
HOST_PLUGIN_EXPORT void Plugin_Unload();
// Notifications handed to delivery and not yet delivered, refused, counted as omitted or given
// up: what a stand-in server waits for before it says a play is over. Game thread.
HOST_PLUGIN_EXPORT std::uint64_t QuillmarkWaitingNotifications();
// The loader's notifications, under the loader lock: 1 process attach, 0 process detach (with a
// non-null `reserved` when the process is ending: see OnProcessExit), 2 and 3 thread attach and
// detach. Always returns 1 (TRUE); does no work that could wait.
HOST_LOADER_ENTRY int HOST_WINAPI DllMain(void* module, unsigned long reason, void* reserved);
}
