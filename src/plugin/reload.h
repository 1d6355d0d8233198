// Reloading config.json while the server runs, with the console command and the RCON command
// "quillmark.reload". The rules change in one step on the game thread, so that no command is
// ever handled without rules; a file that does not load changes nothing. A player's reload is a
// console command like any other: the handler decides it (only a grant of "quillmark.reload" or
// "*", with the administrator bit, lets it through) and audits it before it gets here. RCON is
// authenticated by the server's administrator password.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// The name of both commands.
inline constexpr char kReloadCommand[] = "quillmark.reload";

// Register the RCON command and the console command, each in place of one registered before.
// They stay until the host takes every registration of the plugin away as it unloads it. Game
// thread.
void AddRconReloadCommand();
void AddConsoleReloadCommand();

// Reads config.json again and, when it loads, puts it in force with the notifier's new pace, or,
// when the plugin started without a configuration, starts policing with it; writes one log line
// either way, naming `asked_by`. Returns the answer for whoever asked: what is now in force
// (never the webhook itself), or why nothing changed. Throws only when memory runs out. Game
// thread.
std::string ReloadConfiguration(std::string_view asked_by);

}  // namespace quillmark
