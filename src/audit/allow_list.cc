// Building and asking the allow-list's index.
#include "audit/allow_list.h"

#include <algorithm>
#include <exception>

#include "audit/audit_text.h"

namespace quillmark {

std::vector<const nlohmann::json*> Walk(const nlohmann::json& value) {
  std::vector<const nlohmann::json*> elements;
  for (const nlohmann::json& element : value) elements.push_back(&element);
  return elements;
}

AllowList::AllowList(const nlohmann::json& config) {
  if (const auto list = config.find("white-list"); list != config.end() && list->is_array()) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      const nlohmann::json& element = (*list)[i];
      if (!element.is_string()) continue;
      ++white_list_count_;
      const std::string entry = Lower(element.get_ref<const std::string&>());
      if (entry.empty()) continue;
      white_list_lengths_.push_back(entry.size());
      white_list_.emplace(entry, i);  // the first index of a repeated entry is kept
    }
    std::sort(white_list_lengths_.begin(), white_list_lengths_.end());
    white_list_lengths_.erase(std::unique(white_list_lengths_.begin(), white_list_lengths_.end()),
                              white_list_lengths_.end());
  }
  const auto admins = config.find("admins");
  if (admins == config.end()) return;
  for (const nlohmann::json* walked : Walk(*admins)) {
    const std::size_t index = entries_.size();
    Entry& entry = entries_.emplace_back();
    ++admin_count_;
    const auto ids = walked->find("eosid");  // nothing is found in a value that is no object
    if (ids == walked->end() || !ids->is_array()) continue;
    for (const nlohmann::json& id : *ids) {
      if (!id.is_string()) continue;  // never equal to the player's id
      ++eos_id_count_;
      auto& named = entries_by_id_[id.get<std::string>()];
      if (named.empty() || named.back() != index) named.push_back(index);
    }
    const auto commands = walked->find("allowed-commands");
    if (commands == walked->end()) continue;
    entry.has_commands = true;
    const auto elements = Walk(*commands);
    for (std::size_t position = 0; position < elements.size(); ++position) {
      const nlohmann::json& element = *elements[position];
      if (!element.is_string()) {
        // Read as text it fails with the library's own type error, which the search reports.
        try {
          (void)element.get<std::string>();
        } catch (const std::exception& e) {
          entry.invalid_error = e.what();
        }
        entry.first_invalid = position;
        break;  // nothing after it is ever reached
      }
      const auto& text = element.get_ref<const std::string&>();
      if (text == "*") {
        entry.first_star = std::min(entry.first_star, position);
      } else {
        entry.first_word.emplace(Lower(text), position);
      }
    }
  }
}

std::size_t AllowList::WhiteListEntry(std::string_view command_word) const {
  std::size_t found = kNowhere;
  for (const std::size_t length : white_list_lengths_) {
    if (length > command_word.size()) break;
    const auto it = white_list_.find(command_word.substr(0, length));
    if (it != white_list_.end()) found = std::min(found, it->second);
  }
  return found;
}

GrantFound AllowList::FindGrant(std::string_view eos_id, std::string_view command_word) const {
  GrantFound found;
  const auto named = entries_by_id_.find(eos_id);
  if (named == entries_by_id_.end()) return found;
  found.named = true;
  for (const std::size_t index : named->second) {
    const Entry& entry = entries_[index];
    if (!entry.has_commands) continue;
    const auto word = entry.first_word.find(command_word);
    const std::size_t by_word = word == entry.first_word.end() ? kNowhere : word->second;
    const std::size_t first = std::min({by_word, entry.first_star, entry.first_invalid});
    if (first == kNowhere) continue;
    if (first == entry.first_invalid) {
      found.error = entry.invalid_error;
      return found;
    }
    found.granted = true;
    found.entry = index;
    found.grant = first;
    return found;
  }
  return found;
}

}  // namespace quillmark
