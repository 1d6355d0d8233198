// The host seam over the real framework (AsaApi, built with MSVC against its SDK): its headers
// declare the engine types, the allocator, the address lookups, the hooks, the utilities, the
// log sinks and the request service under the names the plugin uses; this adapter adds what is
// named differently. Only the windows-msvc build includes it.
#pragma once

#include <API/ARK/Ark.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

using HostChar = wchar_t;
using HostText = std::wstring;
#define HOST_TEXT(literal) L##literal
#define HOST_WINAPI WINAPI

using ConsoleCommandFn = FString* (*)(AShooterPlayerController*, FString*, FString*, bool);

namespace host {

inline bool InstallHook(const std::string& name, ConsoleCommandFn detour,
                        ConsoleCommandFn* original) {
  return AsaApi::GetHooks().SetHook(name, detour, original);
}
inline bool RemoveHook(const std::string& name, ConsoleCommandFn detour) {
  return AsaApi::GetHooks().DisableHook(name, reinterpret_cast<LPVOID>(detour));
}
inline AShooterGameMode* CurrentGameMode() { return AsaApi::GetApiUtils().GetShooterGameMode(); }

}  // namespace host
