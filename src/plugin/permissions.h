// The Permissions plugin, another plugin of the same server that keeps the staff's groups: the
// admin search asks it for a player's groups when an "admins" entry with "groups" could grant a
// command. It is found while the server runs, never required: while it is not loaded, entries
// with "groups" grant nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {

// The groups of the player with `eos_id` (UTF-8) as the Permissions plugin says (its
// GetPlayerGroups), in its order, as UTF-8; nothing when the plugin is not loaded or its answer
// cannot be had. What it hands back is released on every path. One warning line when its
// absence is first noticed, and one when it is there again. Never throws. Game thread.
std::optional<std::vector<std::string>> PermissionsGroups(std::string_view eos_id) noexcept;

}  // namespace quillmark
