// UTF-16 to UTF-8, the way every text of the host becomes text the plugin shows: code points from
// surrogate pairs, a lone surrogate as U+FFFD; and UTF-8 to UTF-16 as the framework decodes it.
// Shared by the plugin, the operator's tools (which run without the host) and the simulated host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Appends the UTF-16 units of `c` (a surrogate pair beyond U+FFFF).
template <typename Unit>
void AppendUtf16(std::basic_string<Unit>& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<Unit>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<Unit>(0xD800 + (c >> 10)));
    out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
  }
}

// The UTF-16 of UTF-8 text, as the framework's Utf8Decode makes it: a byte that starts no
// sequence, a sequence cut short, an overlong form, a surrogate or a code point past U+10FFFF
// each give one U+FFFD, and decoding goes on after it.
template <typename Unit>
std::basic_string<Unit> Utf8ToUtf16(std::string_view text) {
  std::basic_string<Unit> out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t code_point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      code_point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code_point = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code_point = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code_point = lead & 0x07, minimum = 0x10000;
    } else {
      AppendUtf16(out, kReplacementCharacter);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (; j < text.size() && j <= i + static_cast<std::size_t>(extra); ++j) {
      const auto next = static_cast<unsigned char>(text[j]);
      if ((next & 0xC0) != 0x80) break;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    const bool complete = j == i + 1 + static_cast<std::size_t>(extra);
    if (!complete || code_point < minimum || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      AppendUtf16(out, kReplacementCharacter);
      i = complete ? j : (j == i + 1 ? i + 1 : j);
      continue;
    }
    AppendUtf16(out, code_point);
    i = j;
  }
  return out;
}

}  // namespace host
