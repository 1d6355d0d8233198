// Conversions between the engine's texts and the plugin's: host text to narrow text (for texts
// the plugin itself formatted, which are ASCII) and to UTF-8 (for everything the players and the
// server give), printf-style formatting into a new FString, and giving an FString's buffer back.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "host/host.h"

namespace quillmark {

// Narrow text of `text`: units 0x01 to 0x7F keep their value, every other unit becomes '?'; the
// text ends at its first zero unit. Does not change `text`. Texts of 128 units or more take a
// working buffer from FMemory, given back before returning (also when an exception passes).
std::string FStringToNarrow(const FString& text);

// UTF-8 of `text`, up to its first zero unit: how every text the plugin shows (names, commands,
// the server label), the command word and the EOS id are kept, so that no letter of any
// language is lost. A lone
// UTF-16 surrogate becomes U+FFFD. Does not change `text`; allocates nothing but its result.
std::string FStringToUtf8(const FString& text);

// A new FString holding `format` (zero-terminated, wide printf syntax) filled with the
// arguments. Texts of 512 units or more are formatted again in a buffer from FMemory that
// doubles until the text fits, up to kMaxFormattedUnits units; a text that still does not fit
// (or a format the runtime rejects) gives the empty FString.
FString FormatFString(const HostChar* format, ...);
inline constexpr std::size_t kMaxFormattedUnits = std::size_t{1} << 20;

// Gives the buffer of `text` back to FMemory now, leaving the empty text. (An FString also
// gives its buffer back when destroyed; this is for releasing early.)
void ReleaseFString(FString& text);

// Ownership of a block from FMemory, given back when the holder goes away.
struct FMemoryFree {
  void operator()(void* block) const { FMemory::Free(block); }
};
template <typename T>
using HostBlock = std::unique_ptr<T[], FMemoryFree>;

}  // namespace quillmark
