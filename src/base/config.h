// The plugin's configuration: one JSON document read once at start-up from config.json in the
// plugin's folder, and only read after that.
#pragma once

#include <string>

#include "host/libraries.h"

namespace quillmark {

// The process-wide configuration document: null until LoadConfig has run. Read (and in no case
// written) on the game thread only once the command handler is installed.
nlohmann::json& PluginConfig();

// Where config.json lies: the server's folder followed by
// "/ArkApi/Plugins/quillmark/config.json".
std::string ConfigPath();

// Reads config.json into PluginConfig. Throws std::runtime_error "Can't open config.json" when
// the file cannot be opened, and the JSON library's parse error when it is not JSON (a leading
// UTF-8 byte order mark is skipped, comments are refused, text after the first value is
// ignored). On failure PluginConfig is left as it was. Loading thread, once.
void LoadConfig();

}  // namespace quillmark
