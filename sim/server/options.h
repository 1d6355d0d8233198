// The stand-in server's command line: its own options, the map URL with the game's RCON options,
// and starting RCON as they say.
#pragma once

#include <string>

#include "sim/server/server_url.h"

namespace sim::server {

// What the stand-in server is told on its command line.
struct Options {
  bool help = false;  // --help or -h: the usage, and nothing else
  bool stats = false;
  bool callbacks_on_worker = false;
  bool shutdown = false;  // --shutdown: the play ends as the directive "shutdown" ends it
  std::string server_dir = ".";
  std::string map = "TheIsland_WP";
  std::string plugin;
  std::string script;
  std::string log;
  ServerUrl url;
  std::string rcon_port;  // --rcon-port: enables RCON on this port, 0 for any free one
  std::string rcon_port_file;
};

// Options of the stand-in, and the map URL (the first argument that is no option); anything else
// (such as -serverkey=Alpha) is a server option, which the plugin reads from the process command
// line. False for a malformed option, with what is wrong in `error` when it is more than the
// usage. --help or -h sets `help` and ends the reading.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// Listens for RCON clients when the options enable it, and writes the port into the port file
// when there is one. As the game, it has RCON only with an admin password: without one it says
// so and goes on. False, having said why, when it cannot listen.
bool StartRcon(const Options& options);

}  // namespace sim::server
