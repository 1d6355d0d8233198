// Why this exists: the UCRT's <wchar.h> defines wmemchr, wmemcmp, wmemcpy, wmemmove and wmemset
// inline (ucrtbase.dll does not export them); mingw-w64's only declares them.
#pragma once
#include_next <wchar.h>
#ifdef __cplusplus
extern "C" {
inline _CONST_RETURN wchar_t* __cdecl wmemchr(const wchar_t* text, wchar_t unit,
                                              size_t count) noexcept {
  for (; count != 0; ++text, --count) {
    if (*text == unit) return const_cast<wchar_t*>(text);
  }
  return nullptr;
}
inline int __cdecl wmemcmp(const wchar_t* left, const wchar_t* right, size_t count) noexcept {
  for (; count != 0; ++left, ++right, --count) {
    if (*left != *right) return *left < *right ? -1 : 1;
  }
  return 0;
}
inline wchar_t* __cdecl wmemcpy(wchar_t* to, const wchar_t* from, size_t count) noexcept {
  return static_cast<wchar_t*>(memcpy(to, from, count * sizeof(wchar_t)));
}
inline wchar_t* __cdecl wmemmove(wchar_t* to, const wchar_t* from, size_t count) noexcept {
  return static_cast<wchar_t*>(memmove(to, from, count * sizeof(wchar_t)));
}
inline wchar_t* __cdecl wmemset(wchar_t* to, wchar_t unit, size_t count) noexcept {
  for (wchar_t* at = to; count != 0; ++at, --count) *at = unit;
  return to;
}
}
#endif
