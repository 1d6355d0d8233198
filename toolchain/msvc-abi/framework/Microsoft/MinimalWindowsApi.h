// Why this exists: under clang the framework's copy of the engine's MinimalWindowsApi.h declares
// its Win32 subset as C++ functions of namespace Windows (the engine defines them in a module the
// framework does not have), which argument-dependent lookup makes ambiguous with <windows.h>.
// Its other branch, the one MSVC compiles, declares them as the system's imports: take that one.
#pragma once
#include "CoreTypes.h"
#pragma push_macro("__clang__")
#undef __clang__
#include_next <Microsoft/MinimalWindowsApi.h>
#pragma pop_macro("__clang__")
