// What plugins may run for players beyond what the players may run themselves:
// "plugin-commands": {"allowed-commands": [...]}, read once when the configuration is put in
// force. A command that code on the server runs through a player's controller (a shop's kit, the
// framework's hidden commands) is decided as the player's own would be, or by these words; a
// command the player types never is.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "audit/allow_list.h"
#include "base/config.h"
#include "host/libraries.h"

namespace quillmark {

// The most command words a configuration warns about (see FirstBlocked): past them every
// blocked plugin command still gets its audit line, but no warning.
inline constexpr std::size_t kMaxWarnedWords = 1000;

class PluginCommands {
 public:
  PluginCommands() = default;
  // The elements of `words` that are text, in order; others are passed over.
  explicit PluginCommands(const nlohmann::json& words);

  // The index of the first element that is "*" or, lower-cased (A-Z), the whole `command_word`;
  // kNowhere when none is.
  [[nodiscard]] std::size_t Entry(std::string_view command_word) const;

  // True the first time a plugin's command of `command_word` is blocked under this
  // configuration, for up to kMaxWarnedWords words; false after. Game thread.
  [[nodiscard]] bool FirstBlocked(std::string_view command_word) const;

 private:
  std::map<std::string, std::size_t, std::less<>> words_;  // lower-cased word -> first index
  std::size_t first_star_ = kNowhere;
  // The words already warned about: a new configuration (start, reload) starts afresh.
  mutable std::set<std::string, std::less<>> warned_;
};

// Reads "plugin-commands"."allowed-commands" from `config`. Each problem adds one, with its
// place, to `problems`: a "plugin-commands" that is no object or an "allowed-commands" that is
// no array grants plugins nothing beyond their players' own (and so does an absent or null
// one, without a problem); an element that is not text is passed over. Never throws but for
// want of memory.
PluginCommands ReadPluginCommands(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems);

}  // namespace quillmark
