// Entries of "admins" with "groups" on the stand-in server, on both builds: granted through the
// Permissions plugin (on Windows its stand-in Permissions.dll, loaded by the framework from
// ArkApi/Plugins/Permissions/), and nothing broken while it is absent, unloaded or loaded late.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/stand_in.h"

namespace quillmark::testing {
namespace {

constexpr char kNotLoaded[] =
    "[ASA:Quillmark][warning] The Permissions plugin is not loaded: admins entries with "
    "\"groups\" grant nothing until it is";
constexpr char kLoaded[] =
    "[ASA:Quillmark][warning] The Permissions plugin is loaded: admins entries with \"groups\" "
    "grant again";

class PermissionsPlayTest : public StandInTest {
 protected:
  void SetUp() override {
    if (std::string(QUILLMARK_PERMISSIONS_INFO) == "none") {
      GTEST_SKIP() << "the Permissions plugin's stand-in was not built (ASA_PERMISSIONS_DIR)";
    }
    WriteConfig({{"white-list", {"say"}},
                 {"admins",
                  {{{"eosid", {"0002bb"}}, {"allowed-commands", {"ghost"}}},
                   {{"groups", {"Builders", "Moderators"}}, {"allowed-commands", {"fly"}}}}}});
  }
  // The server has the Permissions plugin's folder, with its PluginInfo.json where the build
  // has one.
  void InstallPermissions() {
    const auto folder = folder_.Root() / "ArkApi" / "Plugins" / "Permissions";
    std::filesystem::create_directories(folder);
    if (std::string(QUILLMARK_PERMISSIONS_INFO).empty()) return;
    std::filesystem::copy_file(QUILLMARK_PERMISSIONS_INFO, folder / "PluginInfo.json");
  }
  static std::vector<std::string> Decisions(const Play& play) {
    std::vector<std::string> lines;
    for (const std::string& line : play.log) {
      if (line.find("[info] Player ") != std::string::npos) {
        lines.push_back("executed " + line.substr(line.find(" executed ") + 10, 5));
      } else if (line.find("[info] Blocked player ") != std::string::npos) {
        lines.push_back("blocked " + line.substr(line.find(" from executing ") + 16, 5));
      } else if (line.find("[warning] ") != std::string::npos) {
        lines.push_back(line);
      }
    }
    return lines;
  }
};

TEST_F(PermissionsPlayTest, GroupEntriesGrantThroughThePermissionsPlugin) {
  InstallPermissions();
  const Play play =
      Run("join mia eos=0002aa admin\n"
          "cmd mia fly 1\n"
          "group mia Moderators on\n"
          "cmd mia fly 2\n"
          "admin mia off\n"
          "cmd mia fly 3\n"
          "admin mia on\n"
          "group mia Moderators off\n"
          "group mia moderators on\n"
          "cmd mia fly 4\n"
          "wait\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(Decisions(play), (std::vector<std::string>{"blocked fly 1", "executed fly 2",
                                                       "blocked fly 3", "blocked fly 4"}));
  EXPECT_EQ(play.err, "");
}

TEST_F(PermissionsPlayTest, WithoutThePermissionsPluginGroupsGrantNothingAndOneLineSaysSo) {
  const Play play =
      Run("join mia eos=0002aa admin\n"
          "join rex eos=0002bb admin\n"
          "group mia Moderators on\n"
          "cmd mia fly 1\n"
          "cmd rex ghost\n"
          "cmd mia say 1\n"
          "cmd mia fly 2\n"
          "wait\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(Decisions(play),
            (std::vector<std::string>{kNotLoaded, "blocked fly 1", "executed ghost",
                                      "executed say 1", "blocked fly 2"}));
  EXPECT_EQ(play.err, "");
}

TEST_F(PermissionsPlayTest, LoadedLateUnloadedAndLoadedAgain) {
  const Play play =
      Run("join mia eos=0002aa admin\n"
          "group mia Builders on\n"
          "cmd mia fly 1\n"
          "permissions on\n"
          "cmd mia fly 2\n"
          "permissions off\n"
          "cmd mia fly 3\n"
          "cmd mia fly 4\n"
          "permissions on\n"
          "cmd mia fly 5\n"
          "wait\n");
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(Decisions(play), (std::vector<std::string>{
                                 kNotLoaded, "blocked fly 1", kLoaded, "executed fly 2", kNotLoaded,
                                 "blocked fly 3", "blocked fly 4", kLoaded, "executed fly 5"}));
  EXPECT_EQ(play.operation, (std::vector<std::string>{"the Permissions plugin loaded",
                                                      "the Permissions plugin unloaded",
                                                      "the Permissions plugin loaded"}));
  EXPECT_EQ(play.err, "");
}

}  // namespace
}  // namespace quillmark::testing
