// The directives of the stand-in server's scripted play, one per line: players joining, typing
// console commands, a plugin running commands for them, gaining or losing the administrator bit,
// moving, the map changing, RCON requests, the operator replacing config.json or putting an update
// of the plugin beside it, waiting for webhook posts or for RCON clients, letting time pass, the
// server shutting down, and the Permissions plugin's groups changing or the plugin going and
// coming back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace sim::server {

struct Join {
  std::string player;
  std::string eos_id;
  std::optional<std::string> character_name;  // the player's name when absent
  bool admin = false;
  double x = 0, y = 0, z = 0;
  bool has_root_component = true;
};
struct Command {
  std::string player;
  std::string command;  // verbatim: may be empty, hold blanks, braces, quotes, any UTF-8
};
// A plugin runs `command` for the player as a shop's kit does: on the player's controller with
// the write-to-log flag false; with `admin`, the administrator bit raised for the call and put
// back after.
struct PluginCommand {
  std::string player;
  bool admin = false;
  std::string command;  // verbatim, as cmd's
};
struct Admin {
  std::string player;
  bool on = false;
};
struct Move {
  std::string player;
  double x = 0, y = 0, z = 0;
};
struct Map {
  std::string name;
};
struct Wait {};
struct Rcon {
  std::string command;  // verbatim, as cmd's
};
// Lets the game loop run until `clients` clients of the RCON listener have come and gone.
struct RconWait {
  long long clients = 0;
};
// The operator puts the file `file` in place of config.json.
struct UseConfig {
  std::string file;
};
struct Sleep {
  double seconds = 0;
};
// The operator puts `file` (empty: the plugin library the server loaded) beside the plugin's
// library as "<library>.ArkApi", for the framework's automatic reload to put in place.
struct Update {
  std::string file;
};
// The server shuts down as a real one does: the play ends and the process exits without
// unloading the plugin.
struct Shutdown {};
// The server process dies at once, as a crash or a kill ends it: nothing more runs, the plugin
// is told nothing.
struct Crash {};
// Plays `directive` `count` times, each time with "{n}" replaced by the round, 1 to count.
struct Repeat {
  long long count = 0;
  std::string directive;
};
// The Permissions plugin puts the player into the group, or takes them out.
struct Group {
  std::string player;
  std::string group;
  bool on = false;
};
// The Permissions plugin is unloaded, or loaded again.
struct Permissions {
  bool on = false;
};
struct Nothing {};  // a blank line or a comment

using Directive =
    std::variant<Nothing, Join, Command, Admin, Move, Map, Wait, Rcon, RconWait, UseConfig, Sleep,
                 Repeat, Update, Shutdown, Crash, PluginCommand, Group, Permissions>;

// The directive on `line` (without its line end), or an error message saying what is wrong.
std::variant<Directive, std::string> ParseDirective(std::string_view line);

}  // namespace sim::server
