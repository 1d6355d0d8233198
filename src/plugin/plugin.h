// The plugin's entry points and its start and stop. The framework loads the library and calls
// the export Plugin_Init, which starts the plugin; before it unloads the library it calls the
// export Plugin_Unload, which stops it. Start and stop may alternate any number of times in one
// loaded library.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace quillmark {

// Creates the logger over the host's sinks, loads config.json and puts the command handler in
// front of the game's console-command function and the RCON handler in front of its RCON packet
// handler. When the configuration cannot be loaded, its
// error's text is logged at error level and the error is thrown on: nothing is installed. Game
// thread.
void InitPlugin();

// Takes the handlers off and forgets everything the start made (configuration, logger,
// server label), so that InitPlugin may run again, and keeps the library loaded for a few
// seconds after the framework frees it. Game thread.
void ShutdownPlugin();

}  // namespace quillmark

extern "C" {
// The framework's start and stop; no exception leaves them. Game thread.
HOST_PLUGIN_EXPORT void Plugin_Init();
HOST_PLUGIN_EXPORT void Plugin_Unload();
// Notifications handed to delivery and not yet delivered, refused, counted as omitted or given
// up: what a stand-in server waits for before it says a play is over. Game thread.
HOST_PLUGIN_EXPORT std::uint64_t QuillmarkWaitingNotifications();
// The loader's notifications, under the loader lock: 1 process attach, 0 process detach, 2 and
// 3 thread attach and detach. Always returns 1 (TRUE); does no work that could wait.
HOST_LOADER_ENTRY int HOST_WINAPI DllMain(void* module, unsigned long reason, void* reserved);
}
