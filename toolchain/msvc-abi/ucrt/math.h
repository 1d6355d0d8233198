// Why this exists: the UCRT's <math.h> differs from mingw-w64's in what a C++ compile for the
// MSVC target sees: its FP_* classification values, NAN and INFINITY as compiler constants, the
// classification functions as C++ overloads in the global namespace (the STL's <cmath> takes them
// from there), and inline float and long double functions that ucrtbase.dll does not export
// (long double is double on this target).
#pragma once

// mingw-w64 declares the functions below as extern; an inline definition after such a
// declaration would be emitted in every object (an "extern inline" in Microsoft's dialect) and
// collide at link time. Its declarations are hidden under other names, and defined here instead.
#ifdef __cplusplus
#define fabsf quillmark_mingw_fabsf
#define fabsl quillmark_mingw_fabsl
#define frexpf quillmark_mingw_frexpf
#define ldexpf quillmark_mingw_ldexpf
#define hypotf quillmark_mingw_hypotf
#define hypotl quillmark_mingw_hypotl
#define atan2l quillmark_mingw_atan2l
#define fmodl quillmark_mingw_fmodl
#define powl quillmark_mingw_powl
#define frexpl quillmark_mingw_frexpl
#define ldexpl quillmark_mingw_ldexpl
#define modfl quillmark_mingw_modfl
#define acosl quillmark_mingw_acosl
#define asinl quillmark_mingw_asinl
#define atanl quillmark_mingw_atanl
#define ceill quillmark_mingw_ceill
#define cosl quillmark_mingw_cosl
#define coshl quillmark_mingw_coshl
#define expl quillmark_mingw_expl
#define floorl quillmark_mingw_floorl
#define logl quillmark_mingw_logl
#define log10l quillmark_mingw_log10l
#define sinl quillmark_mingw_sinl
#define sinhl quillmark_mingw_sinhl
#define sqrtl quillmark_mingw_sqrtl
#define tanl quillmark_mingw_tanl
#define tanhl quillmark_mingw_tanhl
#endif

#include_next <math.h>

#ifdef __cplusplus
#undef fabsf
#undef fabsl
#undef frexpf
#undef ldexpf
#undef hypotf
#undef hypotl
#undef atan2l
#undef fmodl
#undef powl
#undef frexpl
#undef ldexpl
#undef modfl
#undef acosl
#undef asinl
#undef atanl
#undef ceill
#undef cosl
#undef coshl
#undef expl
#undef floorl
#undef logl
#undef log10l
#undef sinl
#undef sinhl
#undef sqrtl
#undef tanl
#undef tanhl
#endif

// The UCRT's classification values.
#undef FP_INFINITE
#undef FP_NAN
#undef FP_NORMAL
#undef FP_SUBNORMAL
#undef FP_ZERO
#define FP_INFINITE 1
#define FP_NAN 2
#define FP_NORMAL (-1)
#define FP_SUBNORMAL (-2)
#define FP_ZERO 0

// mingw-w64's own definitions read data of its runtime library, which is not linked here.
#undef INFINITY
#undef NAN
#undef HUGE_VALF
#undef HUGE_VALL
#define INFINITY __builtin_inff()
#define NAN __builtin_nanf("")
#define HUGE_VALF __builtin_huge_valf()
#define HUGE_VALL __builtin_huge_vall()

#ifdef __cplusplus
#undef fpclassify
#undef signbit
#undef isfinite
#undef isinf
#undef isnan
#undef isnormal
#undef isgreater
#undef isgreaterequal
#undef isless
#undef islessequal
#undef islessgreater
#undef isunordered

extern "C" {
__declspec(dllimport) float __cdecl _hypotf(float x, float y);

inline float __cdecl fabsf(float x) noexcept { return __builtin_fabsf(x); }
inline long double __cdecl fabsl(long double x) noexcept {
  return __builtin_fabs(static_cast<double>(x));
}
inline float __cdecl frexpf(float x, int* exponent) noexcept {
  return static_cast<float>(frexp(x, exponent));
}
inline float __cdecl ldexpf(float x, int exponent) noexcept {
  return static_cast<float>(ldexp(x, exponent));
}
inline float __cdecl hypotf(float x, float y) noexcept { return _hypotf(x, y); }
inline long double __cdecl hypotl(long double x, long double y) noexcept {
  return _hypot(static_cast<double>(x), static_cast<double>(y));
}
inline long double __cdecl atan2l(long double y, long double x) noexcept {
  return atan2(static_cast<double>(y), static_cast<double>(x));
}
inline long double __cdecl fmodl(long double x, long double y) noexcept {
  return fmod(static_cast<double>(x), static_cast<double>(y));
}
inline long double __cdecl powl(long double x, long double y) noexcept {
  return pow(static_cast<double>(x), static_cast<double>(y));
}
inline long double __cdecl frexpl(long double x, int* exponent) noexcept {
  return frexp(static_cast<double>(x), exponent);
}
inline long double __cdecl ldexpl(long double x, int exponent) noexcept {
  return ldexp(static_cast<double>(x), exponent);
}
inline long double __cdecl modfl(long double x, long double* whole) noexcept {
  double integral = 0;
  const double fraction = modf(static_cast<double>(x), &integral);
  *whole = integral;
  return fraction;
}
#define QUILLMARK_LONG_DOUBLE_AS_DOUBLE(name)                  \
  inline long double __cdecl name##l(long double x) noexcept { \
    return name(static_cast<double>(x));                       \
  }
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(acos)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(asin)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(atan)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(ceil)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(cos)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(cosh)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(exp)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(floor)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(log)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(log10)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(sin)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(sinh)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(sqrt)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(tan)
QUILLMARK_LONG_DOUBLE_AS_DOUBLE(tanh)
#undef QUILLMARK_LONG_DOUBLE_AS_DOUBLE
}  // extern "C"

// The classification functions for every arithmetic type: an integer is classified as the
// double it converts to.
extern "C++" {
template <class T>
using quillmark_ucrt_floating = decltype(__is_floating_point(T) ? T{} : 0.0);

template <class T, class = decltype(T{} + 0)>
[[nodiscard]] inline int fpclassify(T value) noexcept {
  const quillmark_ucrt_floating<T> x = value;
  return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, x);
}
#define QUILLMARK_CLASSIFY(name, builtin)            \
  template <class T, class = decltype(T{} + 0)>      \
  [[nodiscard]] inline bool name(T value) noexcept { \
    const quillmark_ucrt_floating<T> x = value;      \
    return builtin(x);                               \
  }
QUILLMARK_CLASSIFY(signbit, __builtin_signbit)
QUILLMARK_CLASSIFY(isfinite, __builtin_isfinite)
QUILLMARK_CLASSIFY(isinf, __builtin_isinf)
QUILLMARK_CLASSIFY(isnan, __builtin_isnan)
QUILLMARK_CLASSIFY(isnormal, __builtin_isnormal)
#undef QUILLMARK_CLASSIFY
#define QUILLMARK_COMPARE(name)                                                             \
  template <class T1, class T2, class = decltype(T1{} + T2{})>                              \
  [[nodiscard]] inline bool name(T1 left, T2 right) noexcept {                              \
    using Common = decltype(quillmark_ucrt_floating<T1>{} + quillmark_ucrt_floating<T2>{}); \
    return __builtin_##name(static_cast<Common>(left), static_cast<Common>(right));         \
  }
QUILLMARK_COMPARE(isgreater)
QUILLMARK_COMPARE(isgreaterequal)
QUILLMARK_COMPARE(isless)
QUILLMARK_COMPARE(islessequal)
QUILLMARK_COMPARE(islessgreater)
QUILLMARK_COMPARE(isunordered)
#undef QUILLMARK_COMPARE
}  // extern "C++"
#endif  // __cplusplus
