// Host text conversions. Both routines keep a fixed buffer on the stack for the common, short
// texts, so that names, ids, commands and positions cost no allocation beyond their result.
#include "host/host_text.h"

#include <cstdarg>

#include "host/unicode.h"
#include "host/wide_format.h"

namespace quillmark {

std::string FStringToNarrow(const FString& text) {
  constexpr std::size_t kFixed = 128;
  const HostChar* units = *text;
  std::size_t length = 0;
  while (units[length] != 0) ++length;

  char fixed[kFixed];
  HostBlock<char> heap;
  char* buffer = fixed;
  if (length + 1 > kFixed) {
    heap.reset(static_cast<char*>(FMemory::Malloc(length + 1, 0)));
    buffer = heap.get();
  }
  bool wide = false;
  for (std::size_t i = 0; i <= length; ++i) {
    buffer[i] = static_cast<char>(units[i] & 0xFF);
    wide |= static_cast<std::uint16_t>(units[i]) > 0x7F;
  }
  if (wide) {
    for (std::size_t i = 0; i < length; ++i) {
      if (static_cast<std::uint16_t>(units[i]) > 0x7F) buffer[i] = '?';
    }
  }
  return std::string(buffer, length);
}

std::string FStringToUtf8(const FString& text) {
  const HostChar* units = *text;
  std::size_t length = 0;
  while (units[length] != 0) ++length;
  return host::Utf16ToUtf8(units, length);
}

FString FormatFString(const HostChar* format, ...) {
  constexpr std::size_t kFixed = 512;
  HostChar fixed[kFixed];
  HostBlock<HostChar> heap;
  HostChar* buffer = fixed;
  std::size_t capacity = kFixed;
  for (;;) {
    va_list args;
    va_start(args, format);
    const int length = platform::FormatUnits(buffer, capacity, format, args);
    va_end(args);
    if (length >= 0 && static_cast<std::size_t>(length) < capacity) {
      buffer[length] = 0;
      return FString(buffer);
    }
    if (capacity >= kMaxFormattedUnits) return FString();
    capacity *= 2;
    const std::size_t bytes = capacity * sizeof(HostChar);
    void* grown = heap ? FMemory::Realloc(heap.get(), bytes, 0) : FMemory::Malloc(bytes, 0);
    (void)heap.release();
    heap.reset(static_cast<HostChar*>(grown));
    buffer = heap.get();
  }
}

void ReleaseFString(FString& text) { text.Empty(); }

}  // namespace quillmark
