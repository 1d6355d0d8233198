// The decision on one console command. The console may run one line as several commands (see
// console_line.h), so every part it will run is decided by the allow-list on its own, and the
// command passes only when every part does. A command that cannot be split is one part: it is
// decided by its first word, exactly as it always was.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audit/allow_list.h"
#include "audit/plugin_commands.h"
#include "host/host.h"

namespace quillmark {

using HostView = std::basic_string_view<HostChar>;

struct Decision {
  bool allowed = false;
  std::size_t parts = 1;         // the parts decided; more than one only for a chained command
  std::size_t refused_part = 0;  // the first refused part, counted from 1; 0 when allowed
  std::string refused_text;      // that part as the console runs it (UTF-8)
  std::string error;             // why the admin search failed, if it did (the first failure)
  // The rule that let the first decided part through, when it passed: a "white-list" entry
  // (its index), or else the grant of an "admins" entry (as GrantFound counts them).
  std::size_t white_list_entry = kNowhere;
  std::size_t grant_entry = kNowhere;
  std::size_t grant = kNowhere;
  std::string grant_group;  // the player's group through which that entry applied, if it did
  // Or, for a command a plugin ran, the "plugin-commands" word that let it through.
  std::size_t plugin_entry = kNowhere;
  std::string refused_word;  // the command word of the first refused part
};

// How one part was decided, for those who ask why a command goes through or not.
struct PartTrace {
  std::string text;  // the part as the console runs it (UTF-8)
  std::string word;  // its command word
  std::size_t white_list_entry = kNowhere;
  GrantFound grant;
  bool admin_asked = false;  // the administrator bit was needed for this part
  bool admin = false;        // and was set
  bool allowed = false;
  std::size_t plugin_entry = kNowhere;  // the "plugin-commands" word that let a plugin run it
};

// The command word of a command or a part: its first piece when split at spaces (empty pieces
// dropped), as UTF-8 (a lone surrogate as U+FFFD), its ASCII letters lower-cased; empty when
// there is none. The allow-list compares it with its entries byte for byte, so a word in any
// language matches an entry that spells it, and "?" matches only "?".
std::string CommandWord(HostView command);

// The player's groups as the Permissions plugin tells them (UTF-8), or nothing when they cannot
// be had.
using PlayerGroupsFn = std::function<std::optional<std::vector<std::string>>()>;

// Decides `command` for the player whose EOS id is `eos_id` (UTF-8) by `rules`: a part passes
// when its command word is white-listed, or granted to the EOS id or to one of the player's
// groups while `admin_bit()` answers true (asked only when a grant needs it, at most once).
// `player_groups`, when given, is asked at most once per command, and only when the
// administrator bit is set and an entry with "groups" could grant a part that is not
// white-listed; without it, or while it answers nothing, such entries grant nothing. Parts that
// run nothing (blank, or a comment) are not decided; a line of nothing else is decided as the
// empty command. A failed admin search grants nothing and says why in `error`. With `trace`,
// every decided part is described there, in order, up to the first refused one. With `plugin`,
// the command is one a plugin runs for the player: a part the player could not run passes when
// its word is one of `plugin`'s.
Decision DecideCommand(const AllowList& rules, HostView command, std::string_view eos_id,
                       const std::function<bool()>& admin_bit,
                       std::vector<PartTrace>* trace = nullptr,
                       const PlayerGroupsFn& player_groups = {},
                       const PluginCommands* plugin = nullptr);

}  // namespace quillmark
