// Texts as a Discord embed shows them: Discord renders markdown in an embed's description, so a
// player's name or command would otherwise render (a masked link, a spoiler over the EOS id, a
// mention pill). Escaped here, every text reads in the channel exactly as the audit line has it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmark {

// `text` (UTF-8, already escaped to one line) with a backslash in front of every character
// Discord's markdown gives a meaning: \ * _ ~ ` | > < # - + [ ] ( ) @ : (bold, italic,
// underline, strikethrough, spoilers, code, block quotes, headings and subtext, lists, masked
// links and autolinks, mentions, timestamps, custom and named emoji, @everyone and @here), and
// the "." of a leading number ("1." starts a list). Discord shows "\x" for any punctuation x as
// x alone. Everything else is kept as it is. Never throws but for want of memory.
std::string EscapeMarkdown(std::string_view text);

// An escaped text (see EscapeMarkdown) cut to at most `limit` characters with "…" in place of
// the last kept one, never between a backslash and the character it escapes. Unchanged when it
// fits.
std::string CutMarkdown(std::string_view escaped, std::size_t limit);

// A text as an embed shows it: escaped for markdown, then cut to at most `limit` characters;
// `characters` is its length as Discord counts it.
struct MarkdownField {
  std::string text;
  std::size_t characters = 0;

  MarkdownField(std::string_view plain, std::size_t limit);
};

}  // namespace quillmark
