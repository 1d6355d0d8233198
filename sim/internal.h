// Pieces of the simulated host shared between its own files; not for the plugin or tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host.h"

namespace sim {

// Writes the message to standard error and ends the process, as the real framework does on an
// unknown key or a corrupted heap.
[[noreturn]] void Fatal(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void* EngineMalloc(std::size_t count, std::uint32_t alignment);
void* EngineRealloc(void* block, std::size_t count, std::uint32_t alignment);
void EngineFree(void* block);

// The game's own functions, reached through GetAddress.
FString* GameConsoleCommand(AShooterPlayerController* controller, FString* result, FString* command,
                            bool write_to_log);
FString* GamePlayerCharacterName(AShooterPlayerController* controller, FString* result);
FString* GameMapName(AShooterGameMode* game_mode, FString* result);

// The entry the game calls for a hooked function: the first detour, or the game's own.
void* CurrentEntry(const std::string& name, void* game_entry);

// UTF-8 -> host text and back (invalid input becomes U+FFFD / '?').
HostText DecodeUtf8(const std::string& text);
std::string EncodeUtf8(const HostText& text);

}  // namespace sim
