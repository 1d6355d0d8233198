// Where the plugin's files lie, from the server's folder as the framework names it (the reading
// of config.json itself needs no host: config.cc).
#include "base/config.h"
#include "host/host.h"

namespace quillmark {

std::string PluginFolder() { return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/quillmark"; }

std::string ConfigPath() { return PluginFolder() + "/config.json"; }

}  // namespace quillmark
