// The host seam over the real framework (AsaApi, built with MSVC against its SDK): its headers
// declare the engine types, the allocator, the address lookups, the hooks, the commands, the
// utilities, the log sinks and the request service under the names the plugin uses; this adapter
// includes what the framework's umbrella header leaves out and adds what is named differently.
// Only the windows-msvc build includes it.
#pragma once

// Requests.h uses these without including them.
#include <API/ARK/Ark.h>
#include <Requests.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

using HostChar = wchar_t;
using HostText = std::wstring;
#define HOST_TEXT(literal) L##literal
#define HOST_WINAPI WINAPI

using ConsoleCommandFn = FString* (*)(AShooterPlayerController*, FString*, FString*, bool);
// RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*), a member function: `this` first.
using RconPacketFn = void (*)(RCONClientConnection*, RCONPacket*, UWorld*);
inline constexpr int kRconExecCommand = 2;
inline constexpr int kRconAuth = 3;

namespace host {

inline bool InstallHook(const std::string& name, ConsoleCommandFn detour,
                        ConsoleCommandFn* original) {
  return AsaApi::GetHooks().SetHook(name, reinterpret_cast<LPVOID>(detour), original);
}
inline bool RemoveHook(const std::string& name, ConsoleCommandFn detour) {
  return AsaApi::GetHooks().DisableHook(name, reinterpret_cast<LPVOID>(detour));
}
inline bool InstallHook(const std::string& name, RconPacketFn detour, RconPacketFn* original) {
  return AsaApi::GetHooks().SetHook(name, reinterpret_cast<LPVOID>(detour), original);
}
inline bool RemoveHook(const std::string& name, RconPacketFn detour) {
  return AsaApi::GetHooks().DisableHook(name, reinterpret_cast<LPVOID>(detour));
}
inline AShooterGameMode* CurrentGameMode() { return AsaApi::GetApiUtils().GetShooterGameMode(); }
inline AShooterPlayerController* AsShooterController(APlayerController* controller) {
  return static_cast<AShooterPlayerController*>(controller);
}
// The framework formats server messages with fmt: the text goes in as an argument so that its
// braces are shown as written.
inline void SendServerMessage(AShooterPlayerController* controller, const FString& message) {
  AsaApi::GetApiUtils().SendServerMessage(controller, FColorList::Green, L"{}", *message);
}
// The Permissions plugin's export by its decorated name, from its library as loaded now (see
// host.h). The module handle takes no reference and is never kept: the plugin may be unloaded
// and loaded again, and the DLL does not import it.
inline void* FindPermissionsExport(const char* name) {
  const HMODULE permissions = GetModuleHandleW(L"Permissions.dll");
  return permissions != nullptr ? reinterpret_cast<void*>(GetProcAddress(permissions, name))
                                : nullptr;
}

}  // namespace host
