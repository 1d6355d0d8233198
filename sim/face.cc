// The world's side of face.h: each function hands the stand-in's request to the same code that
// serves the simulated host's own face, converting only between the shared types and host.h's.
// The engine's text converts by layout: host.h's FString and the framework's are both one
// TArray of 16-bit units (data, count, capacity), which both sides pin.
#include "sim/face.h"

#include <cstring>
#include <utility>

#include "sim/internal.h"
#include "sim/sim_control.h"

static_assert(sizeof(FString) == sizeof(sim::face::Text), "the engine's text has one layout");

namespace sim::face {
namespace {

FString& AsFString(Text* text) { return *reinterpret_cast<FString*>(text); }
const FString& AsFString(const Text& text) { return *reinterpret_cast<const FString*>(&text); }

}  // namespace

void TextFromWide(Text* text, const wchar_t* units) { new (text) FString(units); }
void TextFromNarrow(Text* text, const char* bytes) { new (text) FString(bytes); }

void TextAssign(Text* text, const wchar_t* units, std::int32_t count) {
  AsFString(text) = count > 0 ? FString(count, units) : FString();
}

void TextEmpty(Text* text) { AsFString(text).Empty(); }

bool TextRemoveFromStart(Text* text, const Text& prefix, bool ignore_case) {
  return AsFString(text).RemoveFromStart(
      AsFString(prefix), ignore_case ? ESearchCase::IgnoreCase : ESearchCase::CaseSensitive);
}

bool TextRemoveFromEnd(Text* text, const Text& suffix, bool ignore_case) {
  FString& whole = AsFString(text);
  const std::int32_t length = whole.Len();
  const std::int32_t suffix_length = AsFString(suffix).Len();
  if (suffix_length == 0 || suffix_length > length) return false;
  const HostChar* tail = *whole + (length - suffix_length);
  const auto count = static_cast<std::size_t>(suffix_length);
  const bool same = ignore_case
                        ? FGenericPlatformStricmp::Strnicmp(tail, *AsFString(suffix), count) == 0
                        : std::memcmp(tail, *AsFString(suffix), count * sizeof(HostChar)) == 0;
  if (!same) return false;
  whole = FString(length - suffix_length, *whole);
  return true;
}

void TextAppend(Text* text, const wchar_t* units, std::int32_t count) {
  if (units == nullptr || count <= 0) return;
  FString& whole = AsFString(text);
  HostText joined(*whole);
  joined.append(units, static_cast<std::size_t>(count));
  whole = FString(static_cast<std::int32_t>(joined.size()), joined.c_str());
}

void* FunctionAddress(const std::string& key) { return ::GetAddress(key); }

void* DataAddress(const std::string& key) {
  Fatal("GetDataAddress: unknown data key \"%s\"", key.c_str());
}

std::uint64_t FieldAddress(const void* object, const std::string& key) {
  return ::GetAddress(object, key);
}

BitPlace BitFieldOf(const void* object, const std::string& key) {
  const BitField field = ::GetBitField(object, key);
  return {field.offset, field.bit_position, field.num_bits};
}

bool InstallHook(const std::string& name, void* detour, void** original) {
  return AsaApi::GetHooks().InstallHook(name, detour, original);
}

bool RemoveHook(const std::string& name, void* detour) {
  return AsaApi::GetHooks().RemoveHook(name, detour);
}

void AddConsoleCommand(void* module, const std::wstring& name, ConsoleCommand command) {
  AddConsoleCommandOf(module, FString(name.c_str()),
                      [command = std::move(command)](APlayerController* controller, FString* text,
                                                     bool write_to_log) {
                        command(controller, reinterpret_cast<Text*>(text), write_to_log);
                      });
}

void AddRconCommand(void* module, const std::wstring& name, RconCommand command) {
  AddRconCommandOf(
      module, FString(name.c_str()),
      [command = std::move(command)](RCONClientConnection* connection, RCONPacket* packet,
                                     UWorld* world) { command(connection, packet, world); });
}

void AddTickCallback(void* module, const std::wstring& id, std::function<void(float)> callback) {
  AddTickCallbackOf(module, FString(id.c_str()), callback);
}

void AddTimerCallback(void* module, const std::wstring& id, std::function<void()> callback) {
  AddTimerCallbackOf(module, FString(id.c_str()), callback);
}

bool RemoveConsoleCommand(const std::wstring& name) {
  return AsaApi::GetCommands().RemoveConsoleCommand(FString(name.c_str()));
}
bool RemoveRconCommand(const std::wstring& name) {
  return AsaApi::GetCommands().RemoveRconCommand(FString(name.c_str()));
}
bool RemoveTickCallback(const std::wstring& id) {
  return AsaApi::GetCommands().RemoveOnTickCallback(FString(id.c_str()));
}
bool RemoveTimerCallback(const std::wstring& id) {
  return AsaApi::GetCommands().RemoveOnTimerCallback(FString(id.c_str()));
}

void* ModuleOf(const void* address) { return sim::ModuleOf(address); }

void* GameMode() { return host::CurrentGameMode(); }

void* FindPlayer(const std::wstring& eos_id) { return sim::FindPlayer(eos_id); }

bool Post(const void* caller, const std::string& url, const RequestDone& done,
          const std::string& body, const std::string& content_type,
          std::vector<std::string> headers, long connect_timeout, long receive_timeout) {
  return PostFor(caller, url, done, body, content_type, std::move(headers), connect_timeout,
                 receive_timeout);
}

void DropRequestCallbacks(void* module) { DropRequestCallbacksOfModule(module); }

std::string ServerDir() { return AsaApi::Tools::GetCurrentDir(); }
std::wstring DecodeUtf8(const std::string& text) { return sim::DecodeUtf8(text); }
std::string EncodeUtf8(const std::wstring& text) { return sim::EncodeUtf8(text); }
bool IsPluginLoaded(const std::string& name) { return sim::IsPluginLoaded(name); }

std::vector<std::wstring> PlayerGroups(const std::wstring& eos_id) {
  return PermissionsGroupsOf(eos_id);
}
bool IsPlayerInGroup(const std::wstring& eos_id, const std::wstring& group) {
  return PermissionsHasGroup(eos_id, group);
}
void SetPlayerGroup(const std::wstring& eos_id, const std::wstring& group, bool member) {
  sim::SetPlayerGroup(eos_id, group, member);
}
std::vector<std::wstring> GroupMembers(const std::wstring& group) {
  return PermissionsMembersOf(group);
}

void SetLogFace(LogFace face) {
  SetLogRoute({std::move(face.use_nothing), std::move(face.use_console), std::move(face.add_file),
               std::move(face.write)});
}

}  // namespace sim::face
