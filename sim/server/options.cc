// Reading the stand-in server's command line.
#include "sim/server/options.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <variant>

#include "sim/sim_control.h"

namespace sim::server {

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  const std::map<std::string, std::string*> valued = {
      {"--server-dir", &options.server_dir},
      {"--map", &options.map},
      {"--plugin", &options.plugin},
      {"--script", &options.script},
      {"--log", &options.log},
      {"--rcon-port", &options.rcon_port},
      {"--rcon-port-file", &options.rcon_port_file}};
  bool have_url = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return true;
    }
    const std::map<std::string, bool*> flags = {
        {"--stats", &options.stats},
        {"--callbacks-on-worker", &options.callbacks_on_worker},
        {"--shutdown", &options.shutdown}};
    if (const auto flag = flags.find(arg); flag != flags.end()) {
      *flag->second = true;
      continue;
    }
    const auto it = valued.find(arg);
    if (it != valued.end()) {
      if (i + 1 >= argc) return false;
      *it->second = argv[++i];
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else if (!have_url && arg.rfind('-', 0) != 0) {
      auto url = ParseServerUrl(arg);
      if (auto* wrong = std::get_if<std::string>(&url)) {
        error = *wrong;
        return false;
      }
      options.url = std::get<ServerUrl>(url);
      if (!options.url.map.empty()) options.map = options.url.map;
      have_url = true;
    }
  }
  if (!options.rcon_port.empty()) {
    auto port = ParseServerUrl("?RCONPort=" + options.rcon_port);
    if (std::holds_alternative<std::string>(port)) {
      error = "--rcon-port wants a port from 0 to 65535";
      return false;
    }
    options.url.rcon_enabled = true;
    options.url.rcon_port = std::get<ServerUrl>(port).rcon_port;
  }
  return true;
}

bool StartRcon(const Options& options) {
  sim::SetServerAdminPassword(options.url.admin_password);
  if (!options.url.rcon_enabled) return true;
  if (options.url.admin_password.empty()) {
    std::fputs("quillmark-sim: RCON is not started: it needs ?ServerAdminPassword=\n", stderr);
    return true;
  }
  std::string error;
  const int port = sim::StartRconListener(options.url.rcon_port, &error);
  if (port == 0) {
    std::fprintf(stderr, "quillmark-sim: cannot listen for RCON on port %d: %s\n",
                 options.url.rcon_port, error.c_str());
    return false;
  }
  if (!options.rcon_port_file.empty()) {
    std::ofstream file(options.rcon_port_file, std::ios::binary | std::ios::trunc);
    file << port << "\n";
  }
  return true;
}

}  // namespace sim::server
