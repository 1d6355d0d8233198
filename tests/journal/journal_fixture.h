// The journal tests' fixture: a server folder, a world with one player, and the plugin started
// with a configuration whose "journal" a test chooses.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "support/host_support.h"
#include "support/journal_files.h"
#include "support/recording_sink.h"
#include "support/server_folder.h"

namespace quillmark::testing {

namespace fs = std::filesystem;

inline constexpr char kAdmin[] = "0002d4c2a1b34e7f9c0e5a1b2c3d4e5f";
inline constexpr char kLabel[] = "TheIsland_WP";

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({sink_});
    sim::StartWorld(kLabel);
    sim::PlayerSetup setup;
    setup.eos_id = kAdmin;
    setup.character_name = "Mia";
    setup.x = 1.5;
    setup.y = -20.25;
    setup.z = 300;
    player_ = sim::AddPlayer(setup);
  }
  void TearDown() override {
    Plugin_Unload();
    sim::SetWallClock(0);
    sim::StopWorld();
    sim::UseConsoleLogSink();
  }
  void Start(const std::string& journal = "{}") {
    folder_.WriteConfig(R"({"white-list": ["give"], "admins": [{"eosid": ["nobody"],
      "allowed-commands": ["*"]}, {"eosid": [")" +
                        std::string(kAdmin) + R"("], "allowed-commands": ["fly", "ghost"]},
      {"groups": ["Builders"], "allowed-commands": ["walk"]}],
      "plugin-commands": {"allowed-commands": ["spawndino"]}, "journal": )" +
                        journal + "}");
    Plugin_Init();
  }
  void Run(const std::string& command) {
    (void)sim::RunConsoleCommand(player_, Host(command));
    (void)sim::TakeReceivedCommands();
  }
  [[nodiscard]] fs::path Labelled(const std::string& suffix = "") const {
    return folder_.PluginDir() / "journal" / (std::string(kLabel) + suffix);
  }
  std::vector<std::string> Errors() {
    std::vector<std::string> errors;
    for (const std::string& message : sink_->Messages()) {
      if (message.starts_with("error: Journal")) errors.push_back(message);
    }
    return errors;
  }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  ServerFolder folder_;
  AShooterPlayerController* player_ = nullptr;
};

}  // namespace quillmark::testing
