// The dry run: whether a command typed by a given player, or run for them by a plugin, would be
// let through by a configuration, and which rule decides, part by part. It decides with the
// plugin's own decision, so that its answer is the handler's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/libraries.h"

namespace quillmark::tools {

struct Explanation {
  bool allowed = false;
  std::vector<std::string> lines;  // the verdict, then one line per decided part
};

// Decides `command` (UTF-8) for the player with `eos_id`, holding the administrator bit or not,
// and in the Permissions plugin's `groups` (none unless given); with `plugin`, as a command a
// plugin runs for that player (with the bit as it is at the call).
Explanation Explain(const nlohmann::json& config, const std::string& eos_id, bool admin,
                    std::string_view command, const std::vector<std::string>& groups = {},
                    bool plugin = false);

}  // namespace quillmark::tools
