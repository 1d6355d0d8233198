// Reading the audit's settings.
#include "audit/audit_settings.h"

#include "audit/audit_text.h"

namespace quillmark {

AuditSettings ReadAuditSettings(const nlohmann::json& config,
                                std::vector<ConfigProblem>& problems) {
  AuditSettings settings;
  if (!config.is_object()) return settings;
  if (const auto rcon = config.find("rcon"); rcon != config.end() && !rcon->is_null()) {
    const auto audit = rcon->is_object() ? rcon->find("audit") : rcon->end();
    if (!rcon->is_object()) {
      problems.push_back({"/rcon", fmt::format("config.json: \"rcon\" must be an object, but is "
                                               "{}: RCON commands are audited",
                                               DescribedConfigValue(*rcon))});
    } else if (audit != rcon->end() && !audit->is_boolean()) {
      problems.push_back({"/rcon/audit", fmt::format("config.json: \"rcon\".\"audit\" must be "
                                                     "true or false, but is {}: RCON commands "
                                                     "are audited",
                                                     DescribedConfigValue(*audit))});
    } else if (audit != rcon->end()) {
      settings.audit_rcon = audit->get<bool>();
    }
  }
  const auto messages = config.find("messages");
  if (messages == config.end() || messages->is_null()) return settings;
  if (!messages->is_object()) {
    problems.push_back({"/messages", fmt::format("config.json: \"messages\" must be an object, "
                                                 "but is {}: blocked players are not told",
                                                 messages->type_name())});
    return settings;
  }
  const auto blocked = messages->find("blocked");
  if (blocked == messages->end() || blocked->is_null()) return settings;
  if (!blocked->is_string()) {
    problems.push_back({"/messages/blocked", fmt::format("config.json: \"messages\".\"blocked\" "
                                                         "must be text, but is {}: blocked "
                                                         "players are not told",
                                                         DescribedConfigValue(*blocked))});
    return settings;
  }
  settings.blocked_message = blocked->get<std::string>();
  return settings;
}

std::string BlockedPlayerText(std::string_view message, std::string_view refused) {
  std::string text;
  text.reserve(message.size() + refused.size());
  for (std::size_t at = 0;;) {
    const std::size_t found = message.find(kCommandPlaceholder, at);
    text.append(message.substr(at, found - at));
    if (found == std::string_view::npos) return text;
    text.append(refused);
    at = found + kCommandPlaceholder.size();
  }
}

}  // namespace quillmark
