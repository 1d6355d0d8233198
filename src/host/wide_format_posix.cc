// Bounded wide formatting where wchar_t is 32 bits: the host's 16-bit format is widened, the
// standard vswprintf does the work, and the result is narrowed back to 16-bit units.
#include <cwchar>
#include <string>
#include <vector>

#include "host/wide_format.h"

namespace quillmark::platform {

int FormatUnits(HostChar* buffer, std::size_t capacity, const HostChar* format, va_list args) {
  std::wstring wide_format;
  for (const HostChar* unit = format; *unit != 0; ++unit) {
    char32_t c = *unit;
    if (c >= 0xD800 && c <= 0xDBFF && unit[1] >= 0xDC00 && unit[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(*++unit) - 0xDC00);
    }
    wide_format.push_back(static_cast<wchar_t>(c));
  }
  std::vector<wchar_t> wide(capacity);
  const int length = std::vswprintf(wide.data(), capacity, wide_format.c_str(), args);
  if (length < 0) return length;
  // Narrow back; a character beyond 16 bits takes two units, so recheck the room.
  std::size_t out = 0;
  for (int i = 0; i < length; ++i) {
    const auto c = static_cast<char32_t>(wide[static_cast<std::size_t>(i)]);
    const std::size_t needed = c > 0xFFFF ? 2 : 1;
    if (out + needed >= capacity) return -1;
    if (c > 0xFFFF) {
      buffer[out++] = static_cast<HostChar>(0xD800 + ((c - 0x10000) >> 10));
      buffer[out++] = static_cast<HostChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      buffer[out++] = static_cast<HostChar>(c);
    }
  }
  buffer[out] = 0;
  return static_cast<int>(out);
}

}  // namespace quillmark::platform
