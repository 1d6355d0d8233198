// The allow-list of config.json, read once when the configuration is put in force: command-word
// prefixes open to every player ("white-list"), and command words granted per EOS id or per group
// of the Permissions plugin ("admins"), which count only while the player holds the
// administrator bit. Indexed, so that a
// command costs the same however long the lists are, and built to give exactly the answers of
// walking the document: the same grant, the same failure at the same point, in the same order.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/libraries.h"

namespace quillmark {

inline constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

// What the admin search found for an EOS id and a command word.
struct GrantFound {
  bool granted = false;
  std::size_t entry = kNowhere;  // the granting entry, counted in the order "admins" is walked
  std::size_t grant = kNowhere;  // the grant, counted in the order its "allowed-commands" is walked
  bool named = false;            // some entry of "admins" names the EOS id
  std::string error;             // the failure that ended the search, if one did
  // The player's group through which the deciding entry applied; empty when the entry names the
  // EOS id, or none decided.
  std::string group;
  bool groups_asked = false;  // the player's groups were asked for
};

// The player's groups as the Permissions plugin tells them, asked for by the admin search only
// when an entry with "groups" could decide the command word before every entry that names the
// EOS id: the group names, or null when they cannot be had or could not count (the plugin is
// not loaded, or the administrator bit is clear).
using GroupsAsk = std::function<const std::vector<std::string>*()>;

class AllowList {
 public:
  AllowList() = default;
  // Never throws on a document of any shape.
  explicit AllowList(const nlohmann::json& config);

  // The first "white-list" entry (its index) that, lower-cased, is a non-empty prefix of
  // `command_word`; kNowhere when none is. Elements that are not text are passed over.
  [[nodiscard]] std::size_t WhiteListEntry(std::string_view command_word) const;

  // The admin search: the entries of "admins" that apply to the player are tried in order; in
  // each, "allowed-commands" is walked until an element is "*" or, lower-cased, the whole
  // `command_word`. An element that is not text ends the search with the JSON library's type
  // error, unless a grant came before it. An entry applies when its "eosid" array holds exactly
  // `eos_id`, or when its "groups" array holds exactly one of the player's groups, which `groups`
  // (when given) is asked for at most once, and only when such an entry could decide the word
  // before every entry that names the EOS id; while it answers null, entries apply by EOS id
  // alone.
  [[nodiscard]] GrantFound FindGrant(std::string_view eos_id, std::string_view command_word,
                                     const GroupsAsk* groups = nullptr) const;

  // What a reload reports: "white-list" entries that are text, entries of "admins", and the
  // EOS ids they name.
  [[nodiscard]] std::size_t WhiteListEntries() const { return white_list_count_; }
  [[nodiscard]] std::size_t AdminEntries() const { return admin_count_; }
  [[nodiscard]] std::size_t EosIds() const { return eos_id_count_; }
  // Entries of "admins" that name at least one group.
  [[nodiscard]] std::size_t GroupEntries() const { return group_entry_count_; }

 private:
  // Looked up by string_view, so that asking costs no allocation.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  template <typename T>
  using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

  struct Entry {
    bool has_commands = false;
    TextMap<std::size_t> first_word;  // lower-cased text -> position
    std::size_t first_star = kNowhere;
    std::size_t first_invalid = kNowhere;
    std::string invalid_error;        // the JSON library's message for that element
    std::vector<std::string> groups;  // the texts of its "groups", in order

    // Where the walk of "allowed-commands" stops for `word`: the grant, or the element that is
    // not text; kNowhere when it runs out.
    [[nodiscard]] std::size_t Decides(std::string_view word) const;
  };

  // The first entry with "groups" whose walk stops for `word`, or kNowhere.
  [[nodiscard]] std::size_t FirstGroupEntryDeciding(std::string_view word) const;

  TextMap<std::size_t> white_list_;              // lower-cased entry -> first index
  std::vector<std::size_t> white_list_lengths_;  // the lengths of its entries, ascending, once
  std::vector<Entry> entries_;                   // every entry of "admins", in walk order
  TextMap<std::vector<std::size_t>> entries_by_id_;
  TextMap<std::vector<std::size_t>> entries_by_group_;
  TextMap<std::size_t> group_entry_by_word_;  // the first entry with "groups" granting each word
  std::size_t group_entry_deciding_all_ = kNowhere;  // the first whose walk stops for any word
  std::size_t group_entry_count_ = 0;
  std::size_t white_list_count_ = 0;
  std::size_t admin_count_ = 0;
  std::size_t eos_id_count_ = 0;
};

// The elements of `value` as the JSON library walks any value: an array by element, an object
// by member value in key order, null as nothing, any other value as itself.
std::vector<const nlohmann::json*> Walk(const nlohmann::json& value);

}  // namespace quillmark
