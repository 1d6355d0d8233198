// Why this exists: /GS guards each function with a local array by a per-module random cookie
// written into its frame; the cookie is made when the module starts, from values that differ
// between runs, and a mismatch ends the process at once.
#include "startup.h"

namespace {
constexpr uintptr_t kDefaultCookie = 0x00002B992DDFA232ull;
}

extern "C" {
uintptr_t __security_cookie = kDefaultCookie;
uintptr_t __security_cookie_complement = ~kDefaultCookie;

void __cdecl __security_init_cookie(void) {
  if (__security_cookie != kDefaultCookie) return;  // already made
  FILETIME now = {};
  LARGE_INTEGER counter = {};
  GetSystemTimeAsFileTime(&now);
  QueryPerformanceCounter(&counter);
  uintptr_t cookie = (static_cast<uintptr_t>(now.dwHighDateTime) << 32) ^ now.dwLowDateTime;
  cookie ^= GetCurrentThreadId() ^ (static_cast<uintptr_t>(GetCurrentProcessId()) << 32);
  cookie ^=
      (static_cast<uintptr_t>(counter.LowPart) << 32) ^ static_cast<uintptr_t>(counter.QuadPart);
  cookie ^= reinterpret_cast<uintptr_t>(&cookie);
  cookie &= 0x0000FFFFFFFFFFFFull;  // the top bits stay zero, as Windows' own cookies do
  if (cookie == kDefaultCookie) ++cookie;
  __security_cookie = cookie;
  __security_cookie_complement = ~cookie;
}

__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t) {
  __fastfail(2);  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
}

void __cdecl __security_check_cookie(uintptr_t cookie) {
  if (cookie != __security_cookie) __report_gsfailure(cookie);
}
}
