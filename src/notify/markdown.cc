// Escaping Discord's markdown.
#include "notify/markdown.h"

#include "audit/audit_text.h"

namespace quillmark {
namespace {

bool IsMarkdown(char c) {
  switch (c) {
    case '\\':
    case '*':
    case '_':
    case '~':
    case '`':
    case '|':
    case '>':
    case '<':
    case '#':
    case '-':
    case '+':
    case '[':
    case ']':
    case '(':
    case ')':
    case '@':
    case ':':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string EscapeMarkdown(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 2);
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsMarkdown(c) || (c == '.' && i == digits && digits > 0)) out += '\\';
    out += c;
  }
  return out;
}

std::string CutMarkdown(std::string_view escaped, std::size_t limit) {
  if (CountCharacters(escaped) <= limit) return std::string(escaped);
  std::string cut = CutCharacters(escaped, limit);
  // The kept part, before the "…": a backslash whose character was cut off goes too.
  constexpr std::size_t kEllipsisBytes = 3;
  const std::size_t kept = cut.size() >= kEllipsisBytes ? cut.size() - kEllipsisBytes : 0;
  std::size_t i = 0;
  while (i < kept) i += escaped[i] == '\\' ? 2 : 1;
  if (i > kept) cut.erase(kept - 1, 1);
  return cut;
}

MarkdownField::MarkdownField(std::string_view plain, std::size_t limit)
    : text(CutMarkdown(EscapeMarkdown(plain), limit)), characters(CountCharacters(text)) {}

}  // namespace quillmark
