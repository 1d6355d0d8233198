// Why this exists: force-included only into the STL's own import-library sources, for the
// Windows 10 SDK items they use that mingw-w64 declares later or not at all.
#pragma once
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A000002  // mingw-w64 shows FileDispositionInfoEx from here on
#include <vcruntime_new.h>       // placement new, which Visual Studio always has declared
#include <windows.h>
extern "C" __declspec(dllimport) DWORD WINAPI GetTempPath2W(DWORD length, LPWSTR buffer);
