// Parsing the directives of a scripted play.
#include "sim/server/script.h"

#include <charconv>
#include <vector>

namespace sim::server {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at blanks; a double-quoted part may hold blanks (the quotes are dropped).
std::optional<std::vector<std::string>> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
      if (text[i] == '"') {
        quoted = !quoted;
      } else {
        word += text[i];
      }
    }
    if (quoted) return std::nullopt;
    words.push_back(std::move(word));
  }
  return words;
}

bool ParseNumber(std::string_view text, double& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// "<x>,<y>,<z>"
bool ParsePosition(std::string_view text, double& x, double& y, double& z) {
  const auto first = text.find(',');
  const auto second = first == std::string_view::npos ? first : text.find(',', first + 1);
  if (second == std::string_view::npos) return false;
  return ParseNumber(text.substr(0, first), x) &&
         ParseNumber(text.substr(first + 1, second - first - 1), y) &&
         ParseNumber(text.substr(second + 1), z);
}

std::variant<Directive, std::string> ParseJoin(const std::vector<std::string>& words) {
  if (words.size() < 2) return std::string("join needs a player");
  Join join;
  join.player = words[1];
  bool has_eos = false;
  for (std::size_t i = 2; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("eos=", 0) == 0) {
      join.eos_id = word.substr(4);
      has_eos = true;
    } else if (word.rfind("name=", 0) == 0) {
      join.character_name = word.substr(5);
    } else if (word == "admin") {
      join.admin = true;
    } else if (word == "noroot") {
      join.has_root_component = false;
    } else if (word.rfind("pos=", 0) == 0) {
      if (!ParsePosition(word.substr(4), join.x, join.y, join.z)) {
        return "pos= wants <x>,<y>,<z>, not \"" + word.substr(4) + "\"";
      }
    } else {
      return "join does not know \"" + word + "\"";
    }
  }
  if (!has_eos) return std::string("join needs eos=<id>");
  return Directive{join};
}

}  // namespace

std::variant<Directive, std::string> ParseDirective(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start == line.size() || line[start] == '#') return Directive{Nothing{}};

  std::size_t end = start;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view verb = line.substr(start, end - start);

  if (verb == "repeat") {
    // repeat <count> <directive>: the directive is everything after the count.
    std::size_t count_start = end;
    while (count_start < line.size() && IsBlank(line[count_start])) ++count_start;
    std::size_t count_end = count_start;
    while (count_end < line.size() && !IsBlank(line[count_end])) ++count_end;
    Repeat repeat;
    const auto [at, error] =
        std::from_chars(line.data() + count_start, line.data() + count_end, repeat.count);
    if (error != std::errc() || at != line.data() + count_end || repeat.count < 0 ||
        count_end + 1 >= line.size()) {
      return std::string("repeat wants <count> <directive>");
    }
    repeat.directive = std::string(line.substr(count_end + 1));
    return Directive{repeat};
  }
  if (verb == "rcon") {
    // rcon <command>: everything after the one space after the verb.
    return Directive{Rcon{end < line.size() ? std::string(line.substr(end + 1)) : std::string()}};
  }
  if (verb == "cmd" || verb == "plugin-cmd") {
    // cmd <player> <command>: the command is everything after the one space after the player.
    // plugin-cmd <player> [admin] <command>: the same, after "admin" when it stands there.
    std::size_t player_start = end;
    while (player_start < line.size() && IsBlank(line[player_start])) ++player_start;
    std::size_t player_end = player_start;
    while (player_end < line.size() && !IsBlank(line[player_end])) ++player_end;
    if (player_start == player_end) return std::string(verb) + " needs a player";
    const std::string player(line.substr(player_start, player_end - player_start));
    std::string_view rest =
        player_end < line.size() ? line.substr(player_end + 1) : std::string_view();
    if (verb == "cmd") return Directive{Command{player, std::string(rest)}};
    constexpr std::string_view kAdmin = "admin";
    const bool admin =
        rest.starts_with(kAdmin) && (rest.size() == kAdmin.size() || IsBlank(rest[kAdmin.size()]));
    if (admin) rest = rest.size() == kAdmin.size() ? std::string_view() : rest.substr(6);
    return Directive{PluginCommand{player, admin, std::string(rest)}};
  }

  const auto words = Words(line.substr(start));
  if (!words) return std::string("a double quote is not closed");
  const std::vector<std::string>& w = *words;
  if (verb == "join") {
    auto join = ParseJoin(w);
    if (auto* error = std::get_if<std::string>(&join)) return *error;
    return join;
  }
  if (verb == "admin") {
    if (w.size() != 3 || (w[2] != "on" && w[2] != "off")) {
      return std::string("admin wants <player> on|off");
    }
    return Directive{Admin{w[1], w[2] == "on"}};
  }
  if (verb == "move") {
    Move move;
    if (w.size() != 3 || !ParsePosition(w[2], move.x, move.y, move.z)) {
      return std::string("move wants <player> <x>,<y>,<z>");
    }
    move.player = w[1];
    return Directive{move};
  }
  if (verb == "map") {
    if (w.size() != 2) return std::string("map wants one name");
    return Directive{Map{w[1]}};
  }
  if (verb == "wait") {
    if (w.size() != 1) return std::string("wait takes nothing more");
    return Directive{Wait{}};
  }
  if (verb == "rcon-wait") {
    RconWait wait;
    if (w.size() != 2 ||
        std::from_chars(w[1].data(), w[1].data() + w[1].size(), wait.clients).ptr !=
            w[1].data() + w[1].size() ||
        wait.clients < 1) {
      return std::string("rcon-wait wants a number of clients");
    }
    return Directive{wait};
  }
  if (verb == "config") {
    if (w.size() != 2) return std::string("config wants one file");
    return Directive{UseConfig{w[1]}};
  }
  if (verb == "update") {
    if (w.size() > 2) return std::string("update wants at most one file");
    return Directive{Update{w.size() == 2 ? w[1] : std::string()}};
  }
  if (verb == "shutdown") {
    if (w.size() != 1) return std::string("shutdown takes nothing more");
    return Directive{Shutdown{}};
  }
  if (verb == "crash") {
    if (w.size() != 1) return std::string("crash takes nothing more");
    return Directive{Crash{}};
  }
  if (verb == "group") {
    if (w.size() != 4 || (w[3] != "on" && w[3] != "off")) {
      return std::string("group wants <player> <group> on|off");
    }
    return Directive{Group{w[1], w[2], w[3] == "on"}};
  }
  if (verb == "permissions") {
    if (w.size() != 2 || (w[1] != "on" && w[1] != "off")) {
      return std::string("permissions wants on|off");
    }
    return Directive{Permissions{w[1] == "on"}};
  }
  if (verb == "sleep") {
    Sleep sleep;
    if (w.size() != 2 || !ParseNumber(w[1], sleep.seconds) || sleep.seconds < 0) {
      return std::string("sleep wants a number of seconds");
    }
    return Directive{sleep};
  }
  return "unknown directive \"" + std::string(verb) + "\"";
}

}  // namespace sim::server
