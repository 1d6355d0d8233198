// Reading the map URL's options.
#include "sim/server/server_url.h"

#include <charconv>

namespace sim::server {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

std::variant<ServerUrl, std::string> ParseServerUrl(std::string_view url) {
  ServerUrl parsed;
  std::size_t at = url.find('?');
  parsed.map = std::string(url.substr(0, at));
  while (at != std::string_view::npos) {
    const std::size_t next = url.find('?', at + 1);
    const std::string_view option = url.substr(at + 1, next == url.npos ? url.npos : next - at - 1);
    at = next;
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
    if (SameWord(name, "RCONEnabled")) {
      parsed.rcon_enabled = SameWord(value, "true");
    } else if (SameWord(name, "RCONPort")) {
      int port = -1;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (error != std::errc() || end != value.data() + value.size() || port < 0 || port > 65535) {
        return "RCONPort wants a port from 0 to 65535, not \"" + std::string(value) + "\"";
      }
      parsed.rcon_port = port;
    } else if (SameWord(name, "ServerAdminPassword")) {
      parsed.admin_password = std::string(value);
    }
  }
  return parsed;
}

}  // namespace sim::server
