// Compile-time pins of what the plugin shares with the framework's binary, which it never sees
// built: the runtime and the standard library the framework is built with, and the size and
// layout of every type that crosses the boundary between them. A toolchain, header or setting
// that changes any of these makes a plugin that loads and then corrupts memory; here it stops
// the build instead. The numbers are the Microsoft x64 ABI's for these declarations.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "host/libraries.h"

// The engine's types, reached through the framework's inline code on both sides.
static_assert(sizeof(FString) == 16, "FString is one TArray: data, count, capacity");
static_assert(sizeof(TArray<wchar_t>) == 16, "TArray is data, count, capacity");
static_assert(sizeof(RCONPacket) == 32 && offsetof(RCONPacket, Body) == 16,
              "RCONPacket is Length, Id, Type, then the body");
static_assert(sizeof(BitField) == 32 && offsetof(BitField, bit_position) == 8 &&
                  offsetof(BitField, num_bits) == 16,
              "BitField is the word's address, the bit, the width and the length");
static_assert(sizeof(FLinearColor) == 16, "FLinearColor is four floats");

#if defined(_MSVC_STL_UPDATE)
// The framework is built with MSVC 14.39 (the STL of tag vs-2022-17.9). The STL of 17.10 and
// later constructs std::mutex inline in a way that needs a newer msvcp140.dll than a server may
// have.
static_assert(_MSVC_STL_UPDATE == 202310L, "the STL must be that of MSVC 14.39 (vs-2022-17.9)");
// Release containers and the dynamic runtime, as the framework: the STL also records both in
// every object (/FAILIFMISMATCH), so that a mismatched object cannot be linked in.
static_assert(_ITERATOR_DEBUG_LEVEL == 0, "the framework's containers have no debug iterators");
#if !defined(_DLL) || defined(_DEBUG)
#error "the plugin must use the release dynamic runtime (/MD), as the framework does"
#endif

// The standard library's types in the framework's signatures.
static_assert(sizeof(std::string) == 32 && sizeof(std::wstring) == 32);
static_assert(sizeof(std::vector<std::string>) == 24);
static_assert(sizeof(std::shared_ptr<spdlog::sinks::sink>) == 16);
static_assert(sizeof(std::unordered_map<std::string, std::string>) == 64);
static_assert(
    sizeof(std::function<void(bool, std::string, std::unordered_map<std::string, std::string>)>) ==
    64);
static_assert(sizeof(std::function<void(APlayerController*, FString*, bool)>) == 64);
static_assert(sizeof(API::Requests) == 16, "the request service is its implementation's pointer");

// The logging library's types that the plugin's logger hands to the framework's sinks.
// offsetof on a class with virtual functions is "conditionally supported"; both compilers that
// build this lay such classes out as the ABI says.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Winvalid-offsetof"
#endif
using LogMessage = spdlog::details::log_msg;
static_assert(sizeof(spdlog::sinks::sink) == 16, "a sink is its table and its level");
static_assert(sizeof(fmt::MemoryWriter) == 552, "fmt 4.1's writer with its 500-byte buffer");
static_assert(sizeof(LogMessage) == 1144 && offsetof(LogMessage, level) == 8 &&
                  offsetof(LogMessage, time) == 16 && offsetof(LogMessage, thread_id) == 24 &&
                  offsetof(LogMessage, raw) == 32 && offsetof(LogMessage, formatted) == 584 &&
                  offsetof(LogMessage, msg_id) == 1136,
              "spdlog 0.16's message, as its sinks read it");
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
#endif
