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
    const bool has_ids = ids != walked->end() && ids->is_array();
    if (has_ids) {
      for (const nlohmann::json& id : *ids) {
        if (!id.is_string()) continue;  // never equal to the player's id
        ++eos_id_count_;
        auto& named = entries_by_id_[id.get<std::string>()];
        if (named.empty() || named.back() != index) named.push_back(index);
      }
    }
    // Group names are compared exactly, as the Permissions plugin compares them; an empty one
    // names no group.
    if (const auto groups = walked->find("groups"); groups != walked->end() && groups->is_array()) {
      for (const nlohmann::json& group : *groups) {
        if (!group.is_string() || group.get_ref<const std::string&>().empty()) continue;
        entry.groups.push_back(group.get<std::string>());
        auto& named = entries_by_group_[entry.groups.back()];
        if (named.empty() || named.back() != index) named.push_back(index);
      }
    }
    if (!has_ids && entry.groups.empty()) continue;
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
    if (entry.groups.empty()) continue;
    ++group_entry_count_;
    if (entry.first_star != kNowhere || entry.first_invalid != kNowhere) {
      group_entry_deciding_all_ = std::min(group_entry_deciding_all_, index);
    }
    for (const auto& [word, position] : entry.first_word) {
      group_entry_by_word_.emplace(word, index);  // the first entry of a repeated word is kept
    }
  }
}

std::size_t AllowList::Entry::Decides(std::string_view word) const {
  if (!has_commands) return kNowhere;
  const auto found = first_word.find(word);
  const std::size_t by_word = found == first_word.end() ? kNowhere : found->second;
  return std::min({by_word, first_star, first_invalid});
}

std::size_t AllowList::FirstGroupEntryDeciding(std::string_view word) const {
  const auto found = group_entry_by_word_.find(word);
  return std::min(group_entry_deciding_all_,
                  found == group_entry_by_word_.end() ? kNowhere : found->second);
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

GrantFound AllowList::FindGrant(std::string_view eos_id, std::string_view command_word,
                                const GroupsAsk* groups) const {
  GrantFound found;
  // The first entry that names the EOS id and decides the word.
  std::size_t deciding = kNowhere;
  if (const auto named = entries_by_id_.find(eos_id); named != entries_by_id_.end()) {
    found.named = true;
    for (const std::size_t index : named->second) {
      if (entries_[index].Decides(command_word) != kNowhere) {
        deciding = index;
        break;
      }
    }
  }
  // An entry that applies through one of the player's groups and comes before it.
  if (groups != nullptr && *groups && FirstGroupEntryDeciding(command_word) < deciding) {
    found.groups_asked = true;
    if (const std::vector<std::string>* player_groups = (*groups)()) {
      std::size_t by_group = kNowhere;
      for (const std::string& group : *player_groups) {
        const auto entries = entries_by_group_.find(group);
        if (entries == entries_by_group_.end()) continue;
        for (const std::size_t index : entries->second) {
          if (index >= deciding || index >= by_group) break;
          if (entries_[index].Decides(command_word) != kNowhere) {
            by_group = index;
            break;
          }
        }
      }
      if (by_group < deciding) {
        deciding = by_group;
        // Named by the entry's first group the player is in.
        for (const std::string& group : entries_[by_group].groups) {
          if (std::find(player_groups->begin(), player_groups->end(), group) !=
              player_groups->end()) {
            found.group = group;
            break;
          }
        }
      }
    }
  }
  if (deciding == kNowhere) return found;
  const Entry& entry = entries_[deciding];
  const std::size_t first = entry.Decides(command_word);
  if (first == entry.first_invalid) {
    found.error = entry.invalid_error;
    return found;
  }
  found.granted = true;
  found.entry = deciding;
  found.grant = first;
  return found;
}

}  // namespace quillmark
