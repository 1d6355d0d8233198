// The dedicated server's first argument, the map URL: the map's name, then options, each after a
// '?': "TheIsland_WP?listen?RCONEnabled=True?RCONPort=27020?ServerAdminPassword=secret". The
// stand-in server reads the options the game reads for RCON, as the game reads them: names in
// any letter case, the last of a repeated option counting, unknown ones passed over.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace sim::server {

inline constexpr int kDefaultRconPort = 27020;

struct ServerUrl {
  std::string map;                   // before the first '?'; empty when the URL starts with '?'
  bool rcon_enabled = false;         // ?RCONEnabled=True (any letter case)
  int rcon_port = kDefaultRconPort;  // ?RCONPort=N, 0 to 65535
  std::string admin_password;        // ?ServerAdminPassword=PW
};

// The URL's map and RCON options, or a message saying which option is malformed.
std::variant<ServerUrl, std::string> ParseServerUrl(std::string_view url);

}  // namespace sim::server
