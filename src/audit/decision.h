// The decision on one console command. The console may run one line as several commands (see
// console_line.h), so every part it will run is decided by the allow-list on its own, and the
// command passes only when every part does. A command that cannot be split is one part: it is
// decided by its first word, exactly as it always was.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/libraries.h"

namespace quillmark {

using HostView = std::basic_string_view<HostChar>;

struct Decision {
  bool allowed = false;
  std::size_t parts = 1;         // the parts decided; more than one only for a chained command
  std::size_t refused_part = 0;  // the first refused part, counted from 1; 0 when allowed
  std::string refused_text;      // that part as the console runs it (UTF-8)
  std::string error;             // why the admin search failed, if it did (the first failure)
};

// The command word of a command or a part: its first piece when split at spaces (empty pieces
// dropped), as narrow text, lower-cased; empty when there is none.
std::string CommandWord(HostView command);

// Decides `command` for the player whose EOS id is `eos_id` (UTF-8) by `config`: a part passes
// when its command word is white-listed, or granted to the EOS id while `admin_bit()` answers
// true (asked only when a grant needs it, at most once). Parts that run nothing (blank, or a
// comment) are not decided; a line of nothing else is decided as the empty command. Never
// throws on a configuration of any shape: a failed admin search grants nothing and says why in
// `error`.
Decision DecideCommand(const nlohmann::json& config, HostView command, const std::string& eos_id,
                       const std::function<bool()>& admin_bit);

}  // namespace quillmark
