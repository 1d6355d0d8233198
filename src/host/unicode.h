// UTF-16 to UTF-8, the way every text of the host becomes text the plugin shows: code points from
// surrogate pairs, a lone surrogate as U+FFFD. Shared by the plugin and the simulated host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point that starts at `units[i]` (one unit, or two for a surrogate pair), advancing
// `i` past it; a surrogate without its partner gives U+FFFD.
template <typename Unit>
char32_t NextCodePoint(const Unit* units, std::size_t length, std::size_t& i) {
  const char32_t c = static_cast<std::uint16_t>(units[i++]);
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c <= 0xDBFF && i < length) {
    const char32_t low = static_cast<std::uint16_t>(units[i]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++i;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return kReplacementCharacter;
}

// Appends the UTF-8 bytes of `c`.
inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The UTF-8 of `length` UTF-16 units.
template <typename Unit>
std::string Utf16ToUtf8(const Unit* units, std::size_t length) {
  // The ASCII start of the text (often all of it) byte for unit, then the rest code point by
  // code point.
  std::size_t ascii = 0;
  while (ascii < length && static_cast<std::uint16_t>(units[ascii]) < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(units[i]);
  if (ascii == length) return out;
  out.reserve(ascii + 3 * (length - ascii));
  for (std::size_t i = ascii; i < length;) AppendUtf8(out, NextCodePoint(units, length, i));
  return out;
}

}  // namespace host
