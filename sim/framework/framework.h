// What every file of the framework stand-in includes: the framework's own public headers, as it
// builds them (its exports marked by ARK_API as __declspec(dllexport)), and the world's face.
// The stand-in exports nothing of its own making: only what those headers declare ARK_API, and
// InitApi, which the framework's module definition file exports.
#pragma once

#ifndef ARK_EXPORTS
#error "the framework stand-in is built with ARK_EXPORTS, as the framework is"
#endif

#include <API/ARK/Ark.h>
#include <ICommands.h>
#include <IHooks.h>
#include <Logger/Logger.h>
#include <Requests.h>
#include <Tools.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "sim/face.h"

namespace standin {

using sim::face::Text;

inline Text* AsText(FString* text) { return reinterpret_cast<Text*>(text); }
inline const Text& AsText(const FString& text) { return *reinterpret_cast<const Text*>(&text); }
inline FString* AsFString(Text* text) { return reinterpret_cast<FString*>(text); }

// The module whose code is at `address`: how the framework tells which plugin called it.
inline void* CallerModule(const void* address) { return sim::face::ModuleOf(address); }

// The framework's own log lines ("API"), through the server's sinks.
void LogFramework(spdlog::level::level_enum level, const std::string& text);

}  // namespace standin
