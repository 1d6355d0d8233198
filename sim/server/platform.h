// What the stand-in server does differently per platform: where it looks for the plugin library
// by default, and whether its input is a terminal (its arguments are the operator's program's:
// tools/program.h). One implementation per platform.
#pragma once

#include <string>
#include <vector>

namespace sim::server {

// The plugin library built beside the running program.
std::string DefaultPluginPath();

// True when `path` names a regular file (the loader says more when it cannot load it).
bool IsLoadableFile(const std::string& path);

// True when standard input is a terminal (a prompt is then shown).
bool InputIsTerminal();

// Starts the framework the plugins are built for, before the server's log is set up and before
// any plugin loads: on Windows, the framework stand-in AsaApi.dll beside the program when there
// is one (its export InitApi, as the server's loader calls it); the simulated host's own face
// needs nothing. False with `error` when the stand-in is there and cannot be started.
bool StartFramework(std::string& error);

}  // namespace sim::server
