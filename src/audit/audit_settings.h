// What the audit takes from config.json besides the allow-list, read once when the configuration
// is put in force: whether RCON commands are audited, and what a player whose command was
// blocked is told.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/config.h"
#include "host/libraries.h"

namespace quillmark {

// The placeholder in "messages"."blocked" that stands for the refused command.
inline constexpr std::string_view kCommandPlaceholder = "{command}";

struct AuditSettings {
  bool audit_rcon = true;       // "rcon": {"audit": ...}
  std::string blocked_message;  // "messages": {"blocked": ...}; empty: the player is not told
};

// Reads "rcon"."audit" and "messages"."blocked" from `config`. Each problem adds one, with its
// place, to `problems`, and leaves that setting at its default: RCON commands audited, blocked
// players not told. Never throws but for want of memory.
AuditSettings ReadAuditSettings(const nlohmann::json& config, std::vector<ConfigProblem>& problems);

// The text a player whose command was blocked receives: `message` with every "{command}"
// replaced by `refused` (a text already made safe to show); other braces are kept as written.
std::string BlockedPlayerText(std::string_view message, std::string_view refused);

}  // namespace quillmark
