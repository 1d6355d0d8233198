// Why this exists: ucrtbase.dll exports only the __stdio_common_* formatting and scanning
// functions; the UCRT's headers make printf, sscanf and their narrow relatives inline wrappers
// over them, where mingw-w64's headers leave them to a library of their own (its wide ones are
// inline). These are those wrappers, with the UCRT's default options.
#include <stdarg.h>
#include <stdio.h>

namespace {
constexpr unsigned __int64 kOptions = 0x0004;  // _CRT_INTERNAL_PRINTF_LEGACY_WIDE_SPECIFIERS
constexpr unsigned __int64 kStandardSnprintf = 0x0002;  // ..._STANDARD_SNPRINTF_BEHAVIOR
constexpr unsigned __int64 kScanOptions = 0x0002;  // _CRT_INTERNAL_SCANF_LEGACY_WIDE_SPECIFIERS
}  // namespace

extern "C" {
int __cdecl __stdio_common_vfprintf(unsigned __int64, FILE*, const char*, _locale_t, va_list);
int __cdecl __stdio_common_vsprintf(unsigned __int64, char*, size_t, const char*, _locale_t,
                                    va_list);
int __cdecl __stdio_common_vsscanf(unsigned __int64, const char*, size_t, const char*, _locale_t,
                                   va_list);

int __cdecl vfprintf(FILE* stream, const char* format, va_list args) {
  return __stdio_common_vfprintf(kOptions, stream, format, nullptr, args);
}
int __cdecl vprintf(const char* format, va_list args) { return vfprintf(stdout, format, args); }
int __cdecl fprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = vfprintf(stream, format, args);
  va_end(args);
  return written;
}
int __cdecl printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = vfprintf(stdout, format, args);
  va_end(args);
  return written;
}
// C99 behaviour: the length the whole text would have, the buffer cut and terminated.
int __cdecl vsnprintf(char* buffer, size_t capacity, const char* format, va_list args) {
  const int written = __stdio_common_vsprintf(kOptions | kStandardSnprintf, buffer, capacity,
                                              format, nullptr, args);
  return written < 0 ? -1 : written;
}
int __cdecl snprintf(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = vsnprintf(buffer, capacity, format, args);
  va_end(args);
  return written;
}
int __cdecl vsprintf(char* buffer, const char* format, va_list args) {
  return vsnprintf(buffer, static_cast<size_t>(-1), format, args);
}
int __cdecl sprintf(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = vsprintf(buffer, format, args);
  va_end(args);
  return written;
}
int __cdecl vsscanf(const char* text, const char* format, va_list args) {
  return __stdio_common_vsscanf(kScanOptions, text, static_cast<size_t>(-1), format, nullptr, args);
}
int __cdecl sscanf(const char* text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int read = vsscanf(text, format, args);
  va_end(args);
  return read;
}
}
