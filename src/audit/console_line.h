// How the engine's console reads one line of commands: it runs the line as several commands,
// split at '|' outside double quotes and at every line break (CR, LF), and within each part
// "//" outside quotes starts a comment that runs to the part's end. Quoting starts afresh in
// each part, and every run of line breaks and '|' between parts is skipped. Key bindings run
// several commands this way; so can a player, which is why every part is decided on its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmark {

// One part of a console line: the text the console runs is [begin, run_end) (the part without
// its comment); the part itself, comment included, ends at part_end.
struct ConsolePart {
  std::size_t begin = 0;
  std::size_t run_end = 0;
  std::size_t part_end = 0;
};

// True when `line` holds a '|', CR or LF anywhere: only then can the console split it.
template <typename Char>
bool MaySplit(std::basic_string_view<Char> line) {
  for (const Char c : line) {
    if (c == Char('|') || c == Char('\r') || c == Char('\n')) return true;
  }
  return false;
}

// Calls `each(ConsolePart)` for every part of `line` in order, as the console produces them
// (an empty part before a leading '|' included). Works on any code unit: the separators are
// ASCII, which never occur inside a longer UTF-8 or UTF-16 sequence.
template <typename Char, typename Each>
void ForEachConsolePart(std::basic_string_view<Char> line, Each&& each) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    ConsolePart part{i, n, n};
    bool quoted = false;
    bool comment = false;
    bool got = false;
    while (i < n && line[i] != Char('\n') && line[i] != Char('\r')) {
      if (!quoted && line[i] == Char('/') && i + 1 < n && line[i + 1] == Char('/') && !comment) {
        comment = true;
        part.run_end = i;
      }
      if (!quoted && line[i] == Char('|')) break;
      quoted = quoted != (line[i] == Char('"'));
      got = true;
      ++i;
    }
    if (!comment) part.run_end = i;
    part.part_end = i;
    while (i < n && (line[i] == Char('\n') || line[i] == Char('\r') || line[i] == Char('|'))) ++i;
    if (i >= n && !got) return;
    each(part);
  }
}

}  // namespace quillmark
