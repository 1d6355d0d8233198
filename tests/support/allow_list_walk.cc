// Walking the allow-list. Values are walked the way the JSON library walks any value: an array
// by element, an object by member value, null as nothing, and a single value as itself, so that
// an "allowed-commands" given as one text acts as a list of one.
#include "support/allow_list_walk.h"

#include "audit/audit_text.h"

namespace quillmark::testing {

bool IsWhiteListed(const nlohmann::json& config, const std::string& command_word) {
  const auto list = config.find("white-list");
  if (list == config.end() || !list->is_array()) return false;
  for (const nlohmann::json& element : *list) {
    if (!element.is_string()) continue;
    const std::string entry = Lower(element.get_ref<const std::string&>());
    if (!entry.empty() && command_word.compare(0, entry.size(), entry) == 0) return true;
  }
  return false;
}

bool IsGranted(const nlohmann::json& config, const std::string& eos_id,
               const std::string& command_word, const std::vector<std::string>& groups,
               std::string* group) {
  const auto admins = config.find("admins");
  if (admins == config.end()) return false;
  const nlohmann::json player(eos_id);
  for (const nlohmann::json& entry : *admins) {
    bool named = false;
    if (const auto ids = entry.find("eosid"); ids != entry.end() && ids->is_array()) {
      for (const nlohmann::json& id : *ids) named = named || id == player;
    }
    std::string through;
    if (const auto names = entry.find("groups");
        !named && names != entry.end() && names->is_array()) {
      for (const nlohmann::json& name : *names) {
        for (const std::string& in : groups) {
          if (through.empty() && !in.empty() && name == nlohmann::json(in)) through = in;
        }
      }
    }
    if (!named && through.empty()) continue;
    const auto commands = entry.find("allowed-commands");
    if (commands == entry.end()) continue;
    for (const nlohmann::json& element : *commands) {
      const auto text = element.get<std::string>();
      if (text == "*" || Lower(text) == command_word) {
        if (group != nullptr) *group = through;
        return true;
      }
    }
  }
  return false;
}

}  // namespace quillmark::testing
