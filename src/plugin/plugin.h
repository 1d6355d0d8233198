// The plugin's entry point and start-up. The framework loads the library; the loader's attach
// notification starts the plugin and its detach notification takes the command handler off.
#pragma once

#include "host/host.h"

namespace quillmark {

// Creates the logger over the host's sinks, loads config.json and puts the command handler in
// front of the game's console-command function. When the configuration cannot be loaded, its
// error's text is logged at error level and the error is thrown on: no handler is installed.
// Loading thread.
void InitPlugin();

}  // namespace quillmark

// The loader's notifications: 1 process attach (start-up), 0 process detach (the handler is
// taken off), 2 and 3 thread attach and detach (nothing). Returns 1 (TRUE), or 0 (FALSE) when
// start-up failed; no exception leaves it. Loading thread.
extern "C" int HOST_WINAPI DllMain(void* module, unsigned long reason, void* reserved);
