// Small text rules of the audit: letter case of command words, how texts are made safe to write
// into the audit trail, the admin password hidden, and texts cut to a number of characters.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "host/libraries.h"

namespace quillmark {

// ASCII letters A-Z become a-z; every other byte is kept. Letters beyond ASCII keep their case
// on purpose: folding them depends on a locale and a Unicode version, and the game's own commands
// are ASCII.
std::string Lower(std::string_view text);
void LowerInPlace(std::string& text);

// `text` (UTF-8) as it may be shown in one line: control characters (below 0x20, and 0x7F)
// become escapes such as \x0A, and the characters that break a line or make a line read
// differently from what it holds (the other controls, the line and paragraph separators, the
// bidirectional controls and every default-ignorable code point: see invisible_characters.h)
// become escapes of their code point in at least four hex digits, such as \u{202E} or
// \u{E0041}. Everything else is kept as it is.
std::string EscapeForDisplay(std::string_view text);

// The command (UTF-8) as it may be shown: in every part the console runs (see console_line.h)
// whose name is EnableCheats in any letter case, as a plain word, a word in double quotes
// ("EnableCheats" or "Enable\Cheats") or the start of a word that goes on with no letter or
// digit (EnableCheats"pw"), after any blanks the console skips (every Unicode blank) and any
// character nobody sees, whatever follows the name (the server's admin password) becomes
// " ***"; and every place that holds one of `secrets` (the server's passwords, UTF-8), whatever
// command it belongs to, becomes "***", places that overlap or adjoin as one. Other text is
// returned unchanged.
std::string HideSecrets(std::string_view command, std::span<const std::string> secrets = {});

// `text` (UTF-8) cut to at most `limit` characters (code points); a cut text ends in "…", which
// takes the place of its last kept character.
std::string CutCharacters(std::string_view text, std::size_t limit);

// The number of characters (code points) of UTF-8 `text`.
std::size_t CountCharacters(std::string_view text);

// A text of config.json (a value as the JSON library writes it, a key) as a message about the
// file quotes it: every URL in it masked (MaskUrlsIn: a webhook's token is never shown, whatever
// key it was written under), escaped to one line, cut to at most `limit` characters.
std::string ShownConfigText(std::string_view text, std::size_t limit = std::string_view::npos);
// A value of config.json as a problem quotes it: its type and a short, one-line rendering.
std::string DescribedConfigValue(const nlohmann::json& value);

}  // namespace quillmark
