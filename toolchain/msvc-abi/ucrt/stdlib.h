// Why this exists: the UCRT's <stdlib.h> has the C++ overloads of abs for long and long long,
// which the STL's <cstdlib> expects there; mingw-w64's has not.
#pragma once
#include_next <stdlib.h>
#ifdef __cplusplus
extern "C++" {
[[nodiscard]] inline long __cdecl abs(long const value) noexcept { return labs(value); }
[[nodiscard]] inline long long __cdecl abs(long long const value) noexcept { return llabs(value); }
}
#endif
