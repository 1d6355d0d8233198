// Masking URLs. A text that quotes the file may write any character of a URL escaped: JSON's
// "\/" and "\u0077", a JSON Pointer's "~1", a URL's own "%2F", or the JSON library's "<U+000A>"
// for a control character it read. So the scan reads the text as the file means it, one
// character at a time, and recognises a URL by what it means; what it hides is the text that
// writes the token, however it writes it.
#include "base/url_mask.h"

#include <cstring>

namespace quillmark {
namespace {

constexpr std::string_view kMask = "****";

// One character as the text means it, and how it is written there.
struct Unit {
  char32_t c = 0;
  std::size_t length = 1;  // the bytes that write it
  bool plain = true;       // written as itself
  bool read_mark = false;  // the JSON library's "<U+XXXX>" for a control character it read
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of the `count` hex digits at `text[i]`, or -1.
long HexAt(std::string_view text, std::size_t i, std::size_t count) {
  if (i + count > text.size()) return -1;
  long value = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const int digit = HexValue(text[i + k]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// The character written at `text[i]` (i < text.size()).
Unit UnitAt(std::string_view text, std::size_t i) {
  const char c = text[i];
  const char next = i + 1 < text.size() ? text[i + 1] : '\0';
  if (c == '\\') {
    if (next == 'u') {
      if (const long value = HexAt(text, i + 2, 4); value >= 0) {
        return {static_cast<char32_t>(value), 6, false};
      }
    }
    constexpr std::string_view kEscaped = "\"\\/bfnrt";
    constexpr std::string_view kMeant = "\"\\/\b\f\n\r\t";
    if (const std::size_t at = kEscaped.find(next); next != '\0' && at != kEscaped.npos) {
      return {static_cast<unsigned char>(kMeant[at]), 2, false};
    }
  } else if (c == '~' && (next == '0' || next == '1')) {
    return {next == '1' ? U'/' : U'~', 2, false};
  } else if (c == '%') {
    if (const long value = HexAt(text, i + 1, 2); value >= 0) {
      return {static_cast<char32_t>(value), 3, false};
    }
  } else if (c == '<' && text.substr(i, 3) == "<U+") {
    if (const long value = HexAt(text, i + 3, 4);
        value >= 0 && i + 7 < text.size() && text[i + 7] == '>') {
      return {static_cast<char32_t>(value), 8, false, true};
    }
  }
  return {static_cast<unsigned char>(c), 1, true};
}

bool IsAt(std::string_view text, std::size_t i, char32_t c) {
  return i < text.size() && UnitAt(text, i).c == c;
}

// Where the characters that `word` (lower-case ASCII) spells end, at `i`, in any letter case;
// 0 when they are not there.
std::size_t WordEnd(std::string_view text, std::size_t i, std::string_view word) {
  for (const char letter : word) {
    if (i >= text.size()) return 0;
    const Unit unit = UnitAt(text, i);
    const char32_t lower = unit.c >= 'A' && unit.c <= 'Z' ? unit.c - 'A' + 'a' : unit.c;
    if (lower != static_cast<unsigned char>(letter)) return 0;
    i += unit.length;
  }
  return i;
}

// Where the URL that goes on at `i` ends. Inside a JSON text it runs to the text's end: its
// closing quote, or where the library stopped reading (a control character); elsewhere to the
// first blank, quote, bracket, brace, comma or backslash it means.
std::size_t UrlEnd(std::string_view text, std::size_t i, bool in_json_text) {
  while (i < text.size()) {
    const Unit unit = UnitAt(text, i);
    if (in_json_text) {
      if (unit.read_mark || (unit.plain && (unit.c == '"' || unit.c < 0x20))) break;
    } else if (unit.c <= 0x20 || unit.c == 0x7F ||
               (unit.c < 0x80 &&
                std::strchr("\"'<>\\`,[]{}|", static_cast<int>(unit.c)) != nullptr)) {
      break;
    }
    i += unit.length;
  }
  return i;
}

// The next slash at or after `i` and before `end`: where it starts, and its length.
std::pair<std::size_t, std::size_t> NextSlash(std::string_view text, std::size_t i,
                                              std::size_t end) {
  while (i < end) {
    const Unit unit = UnitAt(text, i);
    if (unit.c == '/') return {i, unit.length};
    i += unit.length;
  }
  return {end, 0};
}

// The length of "://" at `text[i]`; 0 when none is there.
std::size_t SchemeMarkAt(std::string_view text, std::size_t i) {
  if (!IsAt(text, i, ':')) return 0;
  const std::size_t first = i + UnitAt(text, i).length;
  if (!IsAt(text, first, '/')) return 0;
  const std::size_t second = first + UnitAt(text, first).length;
  if (!IsAt(text, second, '/')) return 0;
  return second + UnitAt(text, second).length - i;
}

// Where the token starts when `text[i]` starts "/webhooks/<id>/" (letters in any case); 0 when
// it does not.
std::size_t TokenAfterWebhooks(std::string_view text, std::size_t i) {
  if (!IsAt(text, i, '/')) return 0;
  const std::size_t word = WordEnd(text, i + UnitAt(text, i).length, "webhooks");
  if (word == 0 || !IsAt(text, word, '/')) return 0;
  const std::size_t id = word + UnitAt(text, word).length;
  const auto [slash, length] = NextSlash(text, id, UrlEnd(text, id, false));
  return length == 0 ? 0 : slash + length;
}

// The URL text[start, end) with "://" at `mark`: the user part of its host masked, and what
// follows the webhook's id (or the host) when anything does.
std::string MaskUrl(std::string_view text, std::size_t start, std::size_t mark, std::size_t end) {
  const std::size_t host = mark + SchemeMarkAt(text, mark);
  const auto [path, slash] = NextSlash(text, host, end);
  std::string out(text.substr(start, host - start));
  std::size_t user_end = host;  // after the last "@" of the host, when it has one
  for (std::size_t i = host; i < path;) {
    const Unit unit = UnitAt(text, i);
    if (unit.c == '@') user_end = i;
    i += unit.length;
  }
  if (user_end != host) out.append(kMask);
  out.append(text.substr(user_end, path - user_end));
  if (slash == 0) return out;
  std::size_t kept = path + slash;
  for (std::size_t i = path; i < end; i += UnitAt(text, i).length) {
    if (const std::size_t token = TokenAfterWebhooks(text, i)) {
      kept = token;
      break;
    }
  }
  out.append(text.substr(path, kept - path));
  if (kept < end) out.append(kMask);
  return out;
}

bool IsSchemeCharacter(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '.' || c == '-';
}

}  // namespace

std::string MaskWebhook(std::string_view url) {
  std::size_t mark = 0;
  while (mark < url.size() && SchemeMarkAt(url, mark) == 0) mark += UnitAt(url, mark).length;
  if (mark == url.size() ||
      NextSlash(url, mark + SchemeMarkAt(url, mark), url.size()).second == 0) {
    return std::string(kMask);  // nothing in it is known to be safe to show
  }
  return MaskUrl(url, 0, mark, url.size());
}

std::string MaskUrlsIn(std::string_view text) {
  std::string out;
  std::size_t copied = 0;
  bool in_json_text = false;     // after an opening quote written as itself
  std::size_t scheme_start = 0;  // where the letters before the present character begin
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t mark = SchemeMarkAt(text, i)) {
      const std::size_t start = std::max(scheme_start, copied);
      const std::size_t end = UrlEnd(text, i + mark, in_json_text);
      out.append(text.substr(copied, start - copied)).append(MaskUrl(text, start, i, end));
      copied = i = scheme_start = end;
      continue;
    }
    // A webhook's path without its scheme and host (a quote cut short, a JSON Pointer).
    if (const std::size_t token = TokenAfterWebhooks(text, i)) {
      const std::size_t end = UrlEnd(text, token, in_json_text);
      out.append(text.substr(copied, token - copied));
      if (token < end) out.append(kMask);
      copied = i = scheme_start = end;
      continue;
    }
    const Unit unit = UnitAt(text, i);
    if (unit.plain && unit.c == '"') in_json_text = !in_json_text;
    i += unit.length;
    if (!IsSchemeCharacter(unit.c)) scheme_start = i;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace quillmark
