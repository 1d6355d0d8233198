// Bounded printf-style formatting into host code units, the one runtime routine whose shape
// differs by platform (wchar_t is 16 bits on Windows, 32 elsewhere). One file per platform
// implements it.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "host/host.h"

namespace quillmark::platform {

// Formats `format` with `args` into `buffer`, writing at most `capacity` units including the
// terminating zero, as vswprintf does. Returns the length written, or a negative number when
// the text and its zero do not fit (the buffer's content is then unspecified). Any thread.
int FormatUnits(HostChar* buffer, std::size_t capacity, const HostChar* format, va_list args);

}  // namespace quillmark::platform
