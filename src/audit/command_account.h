// One account of a command, gathered once by the handler that saw it and handed to each record
// that writes it down (the audit line, the journal, the embed, the player's message). Its texts
// are as they were typed (UTF-8) with the passwords already hidden; each record escapes them
// for its own medium.
#pragma once

#include <cstddef>
#include <string>

namespace quillmark {

// A command typed in a player's console, one sent over RCON, or one that code on the server (a
// shop's kit, the framework's hidden commands) ran through a player's controller.
enum class CommandSource { kConsole, kRcon, kPlugin };

struct CommandAccount {
  CommandSource source = CommandSource::kConsole;
  // A console command's player (for a plugin's command, the player it was run for).
  std::string player;  // the character name
  std::string eos_id;
  bool admin = false;  // the game's administrator bit when the command was decided
  double x = 0, y = 0, z = 0;
  // An RCON command's client, as the audit line names it ("#1 (127.0.0.1:50412)"), and the
  // packet's type when it is not a command packet (-1 when it is).
  std::string client;
  int packet_type = -1;
  // The command with the EnableCheats password and the RCON password as "***".
  std::string command;
  bool allowed = false;  // console: let through; RCON commands are audited, never blocked
  std::string rule;      // the JSON Pointer of the entry that let it through; empty when none
  std::string group;     // the Permissions group through which that entry applied, if it did
  // A blocked line of several parts: the refused part, counted from 1, of `parts`, as the
  // console runs it (passwords hidden). refused_part is 0 when nothing was refused.
  std::size_t refused_part = 0;
  std::size_t parts = 1;
  std::string refused;
  std::string refused_word;  // the refused part's command word, passwords hidden
};

}  // namespace quillmark
