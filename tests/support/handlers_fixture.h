// A fixture for tests of the plugin's handlers in this process: the command handler and the RCON
// handler in front of the simulated game, a world labelled "Test", the logger writing into a
// recording sink and delivery posting to a Discord stand-in.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "audit/server_label.h"
#include "audit/server_password.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "plugin/rcon_handler.h"
#include "support/plugin_fixture.h"

namespace quillmark::testing {

class HandlersFixture : public PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    ForgetServerLabel();
    ForgetServerPasswords();
    sim::StartWorld("Test");
    (void)GetServerLabel();
    ASSERT_TRUE(host::InstallHook(kConsoleCommandHook, &CommandHandler, &SavedConsoleCommand));
    ASSERT_TRUE(host::InstallHook(kRconPacketHook, &RconHandler, &SavedRconPacket));
  }
  void TearDown() override {
    host::RemoveHook(kConsoleCommandHook, &CommandHandler);
    host::RemoveHook(kRconPacketHook, &RconHandler);
    ForgetRconClients();
    sim::StopWorld();
    sim::SetServerAdminPassword("");
    ForgetServerLabel();
    ForgetServerPasswords();
    ForgetConfiguration();
    PluginFixture::TearDown();
  }
  // Puts `config` in force, posting to the stand-in.
  void Use(nlohmann::json config) {
    config["discordwh"] = receiver_.Url();
    UseConfiguration(std::move(config));
  }
  // The player Rex, EOS id E1, joined.
  static AShooterPlayerController* JoinRex() {
    sim::PlayerSetup setup;
    setup.eos_id = "E1";
    setup.character_name = "Rex";
    return sim::AddPlayer(setup);
  }
  // The titles and descriptions of every embed Discord accepted, in order.
  std::vector<std::pair<std::string, std::string>> Embeds() {
    Settle();
    std::vector<std::pair<std::string, std::string>> embeds;
    for (const auto& post : receiver_.Requests()) {
      const nlohmann::json body = nlohmann::json::parse(post.body);
      for (const auto& embed : body["embeds"]) {
        embeds.emplace_back(embed["title"], embed["description"]);
      }
    }
    return embeds;
  }
};

}  // namespace quillmark::testing
