// Reading config.json. The stream extraction of the JSON library does exactly what the file
// format needs: it skips a byte order mark, refuses comments and stops after the first value.
#include "base/config.h"

#include <fstream>
#include <stdexcept>

#include "host/host.h"

namespace quillmark {

nlohmann::json& PluginConfig() {
  static nlohmann::json config;
  return config;
}

std::string ConfigPath() {
  return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/quillmark/config.json";
}

void LoadConfig() {
  std::ifstream file(ConfigPath());
  if (!file.is_open()) throw std::runtime_error("Can't open config.json");
  nlohmann::json document;
  file >> document;
  PluginConfig() = std::move(document);
}

}  // namespace quillmark
