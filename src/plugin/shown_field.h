// A text as a Discord embed shows it: cut with "…" to a number of characters, so that every
// field of a notification fits Discord's limit. Used for console and RCON commands alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "audit/audit_text.h"

namespace quillmark {

// The most characters of a player's name, an EOS id, an RCON client or the server label in an
// embed; the command takes what the other fields leave of Discord's limit.
inline constexpr std::size_t kMaxField = 100;

// A shown text and its length in characters, cut with "…" to at most `limit` characters.
struct ShownField {
  std::string_view text;
  std::size_t characters;
  std::string cut;  // holds the cut text when there is one

  ShownField(std::string_view whole, std::size_t limit)
      : text(whole), characters(CountCharacters(whole)) {
    if (characters <= limit) return;
    cut = CutCharacters(whole, limit);
    text = cut;
    characters = limit;
  }
  ShownField(const ShownField&) = delete;
  ShownField& operator=(const ShownField&) = delete;
};

}  // namespace quillmark
