// The places of the allow-list's rules in config.json.
#include "audit/rule_place.h"

#include <iterator>

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

namespace {

// The `index`th element of `value` as Walk walks it, found without listing the others: the
// rule of a granted command is found at the cost of one entry, whatever the size of "admins".
// Null when there is none.
const nlohmann::json* WalkedElement(const nlohmann::json& value, std::size_t index) {
  if (value.is_array()) return index < value.size() ? &value[index] : nullptr;
  if (value.is_object()) {
    if (index >= value.size()) return nullptr;
    return &*std::next(value.begin(), static_cast<std::ptrdiff_t>(index));
  }
  return index == 0 && !value.is_null() ? &value : nullptr;
}

}  // namespace

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
  const nlohmann::json* walked = WalkedElement(*admins, decision.grant_entry);
  if (walked == nullptr) return {};
  const nlohmann::json& entry = *walked;
  const std::string entry_at = WalkPlace(*admins, decision.grant_entry, "/admins");
  const auto commands = entry.find("allowed-commands");
  if (commands == entry.end()) return {};
  return WalkPlace(*commands, decision.grant, entry_at + "/allowed-commands");
}

}  // namespace quillmark
