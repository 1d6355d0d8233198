// The allow-list decided the plain way, by walking config.json's document on every question: the
// reference that the plugin's index must answer exactly like, error for error.
#pragma once

#include <string>
#include <vector>

#include "host/libraries.h"

namespace quillmark::testing {

// True when a non-empty "white-list" entry, lower-cased, is a prefix of `command_word`. A
// "white-list" that is not an array counts for nothing; elements that are not text are passed
// over. Never throws.
bool IsWhiteListed(const nlohmann::json& config, const std::string& command_word);

// True when an entry of "admins" whose "eosid" array holds exactly `eos_id`, or whose "groups"
// array holds exactly one of `groups`, grants `command_word` in its "allowed-commands" ("*"
// grants every word). Entries are tried in order until one grants. Throws the JSON library's
// type error for an "allowed-commands" element that is not text, once the walk reaches it.
// `group`, when given, gets the first of the entry's groups that is one of `groups`, when the
// granting entry does not name the EOS id.
bool IsGranted(const nlohmann::json& config, const std::string& eos_id,
               const std::string& command_word, const std::vector<std::string>& groups = {},
               std::string* group = nullptr);

}  // namespace quillmark::testing
