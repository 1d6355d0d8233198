// The places of the allow-list's rules in config.json.
#include "audit/rule_place.h"

namespace quillmark {

std::string WalkPlace(const nlohmann::json& value, std::size_t index, const std::string& at) {
  if (value.is_array()) return fmt::format("{}/{}", at, index);
  if (value.is_object()) {
    auto it = value.items().begin();
    for (std::size_t i = 0; i < index; ++i) ++it;
    return (nlohmann::json::json_pointer(at) / it.key()).to_string();
  }
  return at;
}

std::string RulePlace(const nlohmann::json& config, const Decision& decision) {
  if (!decision.allowed || !config.is_object()) return {};
  if (decision.white_list_entry != kNowhere) {
    return fmt::format("/white-list/{}", decision.white_list_entry);
  }
  if (decision.plugin_entry != kNowhere) {
    return fmt::format("/plugin-commands/allowed-commands/{}", decision.plugin_entry);
  }
  const auto admins = config.find("admins");
  if (decision.grant_entry == kNowhere || admins == config.end()) return {};
  const auto entries = Walk(*admins);
  if (decision.grant_entry >= entries.size()) return {};
  const nlohmann::json& entry = *entries[decision.grant_entry];
  const std::string entry_at = WalkPlace(*admins, decision.grant_entry, "/admins");
  const auto commands = entry.find("allowed-commands");
  if (commands == entry.end()) return {};
  return WalkPlace(*commands, decision.grant, entry_at + "/allowed-commands");
}

}  // namespace quillmark
