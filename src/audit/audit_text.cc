// Audit text rules.
#include "audit/audit_text.h"

#include <algorithm>

#include "audit/console_line.h"
#include "base/url_mask.h"

namespace quillmark {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kEllipsis[] = "\xE2\x80\xA6";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view kCheats = "enablecheats";

bool FoldedEqual(char a, char b) { return a == b || (a >= 'A' && a <= 'Z' && a - 'A' + 'a' == b); }

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// When the console part that starts at `begin` (and ends with `part`) runs EnableCheats with
// something after the name (the password), where what may be shown of it ends; 0 otherwise. The
// console reads a command's name as its first word: a word in double quotes is what lies between
// them (a backslash taking the next character as it is), and a name is found at the start of the
// word when what follows it is no letter or digit ("EnableCheats\"pw\"" runs EnableCheats).
std::size_t CheatsWordEnd(std::string_view part, std::size_t begin) {
  std::size_t i = begin;
  while (i < part.size() && IsBlank(part[i])) ++i;
  const bool quoted = i < part.size() && part[i] == '"';
  if (quoted) ++i;
  std::size_t matched = 0;
  for (; i < part.size() && matched < kCheats.size(); ++i, ++matched) {
    if (quoted && part[i] == '\\' && i + 1 < part.size()) ++i;
    if (!FoldedEqual(part[i], kCheats[matched])) return 0;
  }
  if (matched < kCheats.size() || (i < part.size() && IsAsciiAlnum(part[i]))) return 0;
  std::size_t shown = i;
  if (quoted && i < part.size() && part[i] == '"') shown = ++i;  // the whole quoted name
  for (; i < part.size(); ++i) {
    if (!IsBlank(part[i])) return shown;
  }
  return 0;  // the name alone: there is nothing to hide
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters that break a line, or change how a line reads without being seen.
bool IsInvisibleFormatting(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// The code point of the UTF-8 sequence at `text[i]` and its length; a malformed byte stands
// for itself.
char32_t DecodeAt(std::string_view text, std::size_t i, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (length == 1 || i + length > text.size()) {
    length = 1;
    return lead;
  }
  char32_t c = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(text[i + k])) {
      length = 1;
      return lead;
    }
    c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  return c;
}

}  // namespace

void LowerInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  LowerInPlace(lower);
  return lower;
}

std::string EscapeForDisplay(std::string_view text) {
  // Most texts are printable ASCII, with nothing to escape.
  const auto plain = [](char c) { return c >= 0x20 && c < 0x7F; };
  if (std::all_of(text.begin(), text.end(), plain)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
      ++i;
      continue;
    }
    std::size_t length = 1;
    const char32_t c = byte < 0x80 ? byte : DecodeAt(text, i, length);
    if (IsInvisibleFormatting(c)) {
      out += "\\u{";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
      out += '}';
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string HideSecrets(std::string_view command) {
  // Most commands do not name EnableCheats at all; a backslash may split the name in a quoted
  // word ("Enable\Cheats").
  if (std::search(command.begin(), command.end(), kCheats.begin(), kCheats.end(), FoldedEqual) ==
          command.end() &&
      command.find('\\') == std::string_view::npos) {
    return std::string(command);
  }
  std::string out;
  std::size_t copied = 0;
  ForEachConsolePart(command, [&](const ConsolePart& part) {
    const std::size_t shown = CheatsWordEnd(command.substr(0, part.part_end), part.begin);
    if (shown == 0) return;
    out.append(command, copied, shown - copied);
    out += " ***";
    copied = part.part_end;
  });
  out.append(command, copied);
  return out;
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += IsContinuation(c) ? 0 : 1;
  return count;
}

std::string CutCharacters(std::string_view text, std::size_t limit) {
  if (CountCharacters(text) <= limit || limit == 0) {
    return limit == 0 ? std::string() : std::string(text);
  }
  // Keep limit - 1 characters, then the ellipsis.
  std::size_t kept = 0;
  std::size_t end = 0;
  while (end < text.size()) {
    if (!IsContinuation(text[end]) && kept++ == limit - 1) break;
    ++end;
  }
  return std::string(text.substr(0, end)) + kEllipsis;
}

std::string ShownConfigText(std::string_view text, std::size_t limit) {
  return CutCharacters(EscapeForDisplay(MaskUrlsIn(text)), limit);
}

}  // namespace quillmark
