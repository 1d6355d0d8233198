// A temporary server folder with the plugin's config.json, made the simulated host's working
// folder for the life of the object.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "sim/sim_control.h"

namespace quillmark::testing {

class ServerFolder {
 public:
  ServerFolder() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("quillmark-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(PluginDir());
    sim::SetServerDir(root_.string());
  }
  ~ServerFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ServerFolder(const ServerFolder&) = delete;
  ServerFolder& operator=(const ServerFolder&) = delete;

  [[nodiscard]] std::filesystem::path Root() const { return root_; }
  [[nodiscard]] std::filesystem::path PluginDir() const {
    return root_ / "ArkApi" / "Plugins" / "quillmark";
  }
  // Writes config.json with exactly these bytes.
  void WriteConfig(const std::string& bytes) const {
    std::ofstream(PluginDir() / "config.json", std::ios::binary) << bytes;
  }
  void RemoveConfig() const { std::filesystem::remove(PluginDir() / "config.json"); }

 private:
  std::filesystem::path root_;
};

}  // namespace quillmark::testing
