// Audit text rules.
#include "audit/audit_text.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "audit/console_line.h"
#include "audit/invisible_characters.h"
#include "base/url_mask.h"

namespace quillmark {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kEllipsis[] = "\xE2\x80\xA6";

constexpr std::string_view kCheats = "enablecheats";

bool FoldedEqual(char a, char b) { return a == b || (a >= 'A' && a <= 'Z' && a - 'A' + 'a' == b); }

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

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

// Characters that break a line, or change how a line reads without being seen.
bool IsInvisible(char32_t c) {
  const auto ranges = InvisibleRanges();
  const auto after =
      std::upper_bound(ranges.begin(), ranges.end(), c,
                       [](char32_t code, const CodeRange& r) { return code < r.first; });
  return after != ranges.begin() && c <= std::prev(after)->last;
}

// The blanks the game's console skips before a command's name: what iswspace answers true for
// in UTF-16 on Windows.
bool IsConsoleBlank(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// What may stand before the name of EnableCheats, or alone after it, without making it another
// command: the console's blanks, and every other character no reader sees (a control, an
// invisible character), for a line that reads as EnableCheats with a password is treated as
// one. The length of such a character at `text[i]`, 0 when it is none.
std::size_t UnseenAt(std::string_view text, std::size_t i) {
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte < 0x20 || byte == 0x7F) return 1;
  if (byte < 0x80) return byte == ' ' ? 1 : 0;
  std::size_t length = 1;
  const char32_t c = DecodeAt(text, i, length);
  return IsConsoleBlank(c) || IsInvisible(c) ? length : 0;
}

// When the console part that starts at `begin` (and ends with `part`) runs EnableCheats with
// something after the name (the password), where what may be shown of it ends; 0 otherwise. The
// console reads a command's name as its first word: a word in double quotes is what lies between
// them (a backslash taking the next character as it is), and a name is found at the start of the
// word when what follows it is no letter or digit ("EnableCheats\"pw\"" runs EnableCheats).
std::size_t CheatsWordEnd(std::string_view part, std::size_t begin) {
  std::size_t i = begin;
  while (i < part.size()) {
    const std::size_t unseen = UnseenAt(part, i);
    if (unseen == 0) break;
    i += unseen;
  }
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
  while (i < part.size()) {
    const std::size_t unseen = UnseenAt(part, i);
    if (unseen == 0) return shown;
    i += unseen;
  }
  return 0;  // the name alone: there is nothing to hide
}

struct Span {
  std::size_t begin;
  std::size_t end;
};

// Where EnableCheats is given a password: from the end of its name to the end of its part, in
// order.
std::vector<Span> CheatsArguments(std::string_view command) {
  std::vector<Span> spans;
  // Most commands do not name EnableCheats at all; a backslash may split the name in a quoted
  // word ("Enable\Cheats").
  if (std::search(command.begin(), command.end(), kCheats.begin(), kCheats.end(), FoldedEqual) ==
          command.end() &&
      command.find('\\') == std::string_view::npos) {
    return spans;
  }
  ForEachConsolePart(command, [&](const ConsolePart& part) {
    const std::size_t shown = CheatsWordEnd(command.substr(0, part.part_end), part.begin);
    if (shown != 0) spans.push_back({shown, part.part_end});
  });
  return spans;
}

// Every place where one of `secrets` stands, overlapping and adjoining places joined, in order.
std::vector<Span> SecretPlaces(std::string_view command, std::span<const std::string> secrets) {
  std::vector<Span> spans;
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (std::size_t at = command.find(secret); at != std::string_view::npos;
         at = command.find(secret, at + 1)) {
      spans.push_back({at, at + secret.size()});
    }
  }
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.begin < b.begin; });
  std::vector<Span> joined;
  for (const Span& span : spans) {
    if (!joined.empty() && span.begin <= joined.back().end) {
      joined.back().end = std::max(joined.back().end, span.end);
    } else {
      joined.push_back(span);
    }
  }
  return joined;
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
    if (IsInvisible(c)) {
      // At least four digits, as many as the code point needs.
      int shift = c > 0xFFFFF ? 20 : c > 0xFFFF ? 16 : 12;
      out += "\\u{";
      for (; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
      out += '}';
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string HideSecrets(std::string_view command, std::span<const std::string> secrets) {
  const std::vector<Span> arguments = CheatsArguments(command);
  const std::vector<Span> places = SecretPlaces(command, secrets);
  if (arguments.empty() && places.empty()) return std::string(command);
  // The two kinds of place may overlap: a password that runs into what EnableCheats is given, or
  // out of it into the next part. Neither shows any of its characters.
  std::string out;
  std::size_t i = 0;
  auto argument = arguments.begin();
  auto place = places.begin();
  for (;;) {
    while (place != places.end() && place->end <= i) ++place;
    const std::size_t next_argument =
        argument == arguments.end() ? std::string_view::npos : argument->begin;
    const std::size_t next_place =
        place == places.end() ? std::string_view::npos : std::max(place->begin, i);
    if (next_argument == std::string_view::npos && next_place == std::string_view::npos) break;
    if (next_argument <= next_place) {
      out.append(command, i, next_argument - i).append(" ***");
      i = argument->end;
      ++argument;
    } else {
      out.append(command, i, next_place - i).append("***");
      i = std::min(place->end, next_argument);
    }
  }
  out.append(command, i);
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

std::string DescribedConfigValue(const nlohmann::json& value) {
  return fmt::format("{} {}", value.type_name(), ShownConfigText(value.dump(), 60));
}

}  // namespace quillmark
