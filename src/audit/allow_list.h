// The allow-list of config.json, read once when the configuration is put in force: command-word
// prefixes open to every player ("white-list"), and command words granted per EOS id
// ("admins"), which count only while the player holds the administrator bit. Indexed, so that a
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
};

class AllowList {
 public:
  AllowList() = default;
  // Never throws on a document of any shape.
  explicit AllowList(const nlohmann::json& config);

  // The first "white-list" entry (its index) that, lower-cased, is a non-empty prefix of
  // `command_word`; kNowhere when none is. Elements that are not text are passed over.
  [[nodiscard]] std::size_t WhiteListEntry(std::string_view command_word) const;

  // The admin search: the entries of "admins" whose "eosid" array holds exactly `eos_id` are
  // tried in order; in each, "allowed-commands" is walked until an element is "*" or, lower-
  // cased, the whole `command_word`. An element that is not text ends the search with the JSON
  // library's type error, unless a grant came before it.
  [[nodiscard]] GrantFound FindGrant(std::string_view eos_id, std::string_view command_word) const;

  // What a reload reports: "white-list" entries that are text, entries of "admins", and the
  // EOS ids they name.
  [[nodiscard]] std::size_t WhiteListEntries() const { return white_list_count_; }
  [[nodiscard]] std::size_t AdminEntries() const { return admin_count_; }
  [[nodiscard]] std::size_t EosIds() const { return eos_id_count_; }

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
    std::string invalid_error;  // the JSON library's message for that element
  };

  TextMap<std::size_t> white_list_;              // lower-cased entry -> first index
  std::vector<std::size_t> white_list_lengths_;  // the lengths of its entries, ascending, once
  std::vector<Entry> entries_;                   // every entry of "admins", in walk order
  TextMap<std::vector<std::size_t>> entries_by_id_;
  std::size_t white_list_count_ = 0;
  std::size_t admin_count_ = 0;
  std::size_t eos_id_count_ = 0;
};

// The elements of `value` as the JSON library walks any value: an array by element, an object
// by member value in key order, null as nothing, any other value as itself.
std::vector<const nlohmann::json*> Walk(const nlohmann::json& value);

}  // namespace quillmark
