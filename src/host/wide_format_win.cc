// Bounded wide formatting where wchar_t is the engine's 16-bit unit: the runtime's own routine.
// The framework's headers include <strsafe.h>, which marks vswprintf deprecated unless told
// otherwise; the bounded form used here reports overflow as the code below expects.
#define STRSAFE_NO_DEPRECATE
#include <cwchar>

#include "host/wide_format.h"

namespace quillmark::platform {

int FormatUnits(HostChar* buffer, std::size_t capacity, const HostChar* format, va_list args) {
  return std::vswprintf(buffer, capacity, format, args);
}

}  // namespace quillmark::platform
