// Reading and asking the words plugins may run for players.
#include "audit/plugin_commands.h"

#include <algorithm>

#include "audit/audit_text.h"

namespace quillmark {
namespace {

constexpr char kOwnOnly[] = "plugins run only what their players may";

}  // namespace

PluginCommands::PluginCommands(const nlohmann::json& words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const nlohmann::json& element = words[i];
    if (!element.is_string()) continue;
    const auto& text = element.get_ref<const std::string&>();
    if (text == "*") {
      first_star_ = std::min(first_star_, i);
    } else {
      words_.emplace(Lower(text), i);  // the first index of a repeated word is kept
    }
  }
}

std::size_t PluginCommands::Entry(std::string_view command_word) const {
  const auto word = words_.find(command_word);
  return std::min(word == words_.end() ? kNowhere : word->second, first_star_);
}

bool PluginCommands::FirstBlocked(std::string_view command_word) const {
  if (warned_.size() >= kMaxWarnedWords || warned_.contains(command_word)) return false;
  warned_.emplace(command_word);
  return true;
}

PluginCommands ReadPluginCommands(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems) {
  if (!config.is_object()) return {};
  const auto plugin = config.find("plugin-commands");
  if (plugin == config.end() || plugin->is_null()) return {};
  if (!plugin->is_object()) {
    problems.push_back({"/plugin-commands",
                        fmt::format("config.json: \"plugin-commands\" must be an object, but is "
                                    "{}: {}",
                                    DescribedConfigValue(*plugin), kOwnOnly)});
    return {};
  }
  const auto words = plugin->find("allowed-commands");
  if (words == plugin->end() || words->is_null()) return {};
  if (!words->is_array()) {
    problems.push_back({"/plugin-commands/allowed-commands",
                        fmt::format("config.json: \"plugin-commands\".\"allowed-commands\" must "
                                    "be an array of command words, but is {}: {}",
                                    DescribedConfigValue(*words), kOwnOnly)});
    return {};
  }
  for (std::size_t i = 0; i < words->size(); ++i) {
    const nlohmann::json& element = (*words)[i];
    if (element.is_string()) continue;
    problems.push_back({fmt::format("/plugin-commands/allowed-commands/{}", i),
                        fmt::format("config.json: \"plugin-commands\".\"allowed-commands\" holds "
                                    "{} at /plugin-commands/allowed-commands/{}, which is not a "
                                    "command word: it is passed over",
                                    DescribedConfigValue(element), i)});
  }
  return PluginCommands(*words);
}

}  // namespace quillmark
