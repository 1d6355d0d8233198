// The simulated world as another face of the host reaches it. The framework stand-in
// (sim/framework/) is built from the framework's own headers, which declare FString, the hook
// table, the commands and the rest under the same names as host/host.h but differently, so the
// two can never meet in one translation unit. The stand-in reaches the one world through these
// declarations instead, whose types both sides share: plain pointers for game objects, the
// engine's text by its layout, and standard library types. Every function here is the world's
// own behaviour (the same that the simulated host's face gives its plugins); the stand-in only
// translates. Windows only, where the stand-in exists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#if defined(QUILLMARK_HOST_BUILD)
#define SIM_FACE_API __declspec(dllexport)
#else
#define SIM_FACE_API __declspec(dllimport)
#endif

namespace sim::face {

// The engine's text as both faces lay it out: the units, their count with the terminating zero
// (0 for the empty text), and the capacity.
struct Text {
  wchar_t* data;
  std::int32_t count;
  std::int32_t capacity;
};
static_assert(sizeof(Text) == 16);

// ----- FString's members, as the engine implements them (blocks from the engine allocator) --
// Each constructs into `text`, which holds no buffer yet.
SIM_FACE_API void TextFromWide(Text* text, const wchar_t* units);
SIM_FACE_API void TextFromNarrow(Text* text, const char* bytes);
// Replaces the text by `count` units (count 0: the empty text, its buffer given back).
SIM_FACE_API void TextAssign(Text* text, const wchar_t* units, std::int32_t count);
SIM_FACE_API void TextEmpty(Text* text);
SIM_FACE_API bool TextRemoveFromStart(Text* text, const Text& prefix, bool ignore_case);
SIM_FACE_API bool TextRemoveFromEnd(Text* text, const Text& suffix, bool ignore_case);
// Appends `count` units.
SIM_FACE_API void TextAppend(Text* text, const wchar_t* units, std::int32_t count);

// ----- Lookups by key: fatal for an unknown key, as in the framework ------------------------
SIM_FACE_API void* FunctionAddress(const std::string& key);
SIM_FACE_API std::uint64_t FieldAddress(const void* object, const std::string& key);
struct BitPlace {
  std::uint64_t word;  // the address of the 32-bit word holding the bit
  std::uint64_t bit;
  std::uint64_t width;
};
SIM_FACE_API BitPlace BitFieldOf(const void* object, const std::string& key);
// The game's global data by key; the simulated game has none a plugin reads, so every key is
// unknown (fatal).
SIM_FACE_API void* DataAddress(const std::string& key);

// ----- The hook chain --------------------------------------------------------------------------
// As the simulated host's hook table: the detour's module owns it; the last installed runs first.
SIM_FACE_API bool InstallHook(const std::string& name, void* detour, void** original);
SIM_FACE_API bool RemoveHook(const std::string& name, void* detour);

// ----- Commands and callbacks, each owned by `module` and taken away when it unloads -------
using ConsoleCommand = std::function<void(void* controller, Text* command, bool write_to_log)>;
using RconCommand = std::function<void(void* connection, void* packet, void* world)>;
SIM_FACE_API void AddConsoleCommand(void* module, const std::wstring& name, ConsoleCommand command);
SIM_FACE_API void AddRconCommand(void* module, const std::wstring& name, RconCommand command);
SIM_FACE_API void AddTickCallback(void* module, const std::wstring& id,
                                  std::function<void(float)> callback);
SIM_FACE_API void AddTimerCallback(void* module, const std::wstring& id,
                                   std::function<void()> callback);
// Each takes away the first registration of that name (letter case ignored); false when none.
SIM_FACE_API bool RemoveConsoleCommand(const std::wstring& name);
SIM_FACE_API bool RemoveRconCommand(const std::wstring& name);
SIM_FACE_API bool RemoveTickCallback(const std::wstring& id);
SIM_FACE_API bool RemoveTimerCallback(const std::wstring& id);
// The module (its handle) holding the code at `address`; null when none does.
SIM_FACE_API void* ModuleOf(const void* address);

// ----- The game --------------------------------------------------------------------------------
// The running game mode; null before the world has started.
SIM_FACE_API void* GameMode();
// The controller of the player with that EOS id, or null.
SIM_FACE_API void* FindPlayer(const std::wstring& eos_id);

// ----- The request service -------------------------------------------------------------------
using RequestDone =
    std::function<void(bool, std::string, std::unordered_map<std::string, std::string>)>;
// A POST handed over for the module that holds `caller`, an address of its code (false when
// there is none, or it was refused); its result comes back on a later frame unless the module is
// unloaded first.
SIM_FACE_API bool Post(const void* caller, const std::string& url, const RequestDone& done,
                       const std::string& body, const std::string& content_type,
                       std::vector<std::string> headers, long connect_timeout,
                       long receive_timeout);
SIM_FACE_API void DropRequestCallbacks(void* module);

// ----- The framework's tools ---------------------------------------------------------------
SIM_FACE_API std::string ServerDir();
SIM_FACE_API std::wstring DecodeUtf8(const std::string& text);
SIM_FACE_API std::string EncodeUtf8(const std::wstring& text);
SIM_FACE_API bool IsPluginLoaded(const std::string& name);

// ----- The Permissions plugin's groups (sim_control.h), for the Permissions.dll stand-in ------
// A player's groups in the order joined; each call counts as one of GetPlayerGroups.
SIM_FACE_API std::vector<std::wstring> PlayerGroups(const std::wstring& eos_id);
// Each call counts as one of IsPlayerInGroup.
SIM_FACE_API bool IsPlayerInGroup(const std::wstring& eos_id, const std::wstring& group);
SIM_FACE_API void SetPlayerGroup(const std::wstring& eos_id, const std::wstring& group,
                                 bool member);
SIM_FACE_API std::vector<std::wstring> GroupMembers(const std::wstring& group);

// ----- The server's log ----------------------------------------------------------------------
// The face that owns the server's log sinks from now on: the console and files the server asks
// for become its sinks, and the framework's own lines are written through it. Until one is set,
// the simulated host's own sinks serve.
struct LogFace {
  std::function<void()> use_nothing;
  std::function<void()> use_console;
  std::function<void(const std::string& path)> add_file;
  std::function<void(int level, const std::string& text)> write;
};
SIM_FACE_API void SetLogFace(LogFace face);

}  // namespace sim::face
