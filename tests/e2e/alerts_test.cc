// Alerts through the real pieces: the stand-in server plays commands that match alert rules and
// commands that do not, and the Discord stand-in says whom each post it accepted pings.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e/stand_in.h"

namespace {

using nlohmann::json;
using quillmark::testing::Play;

class AlertsPlayTest : public quillmark::testing::StandInTest {};

// The channel is for blocked commands only, yet the alerts go out; every post the stand-in
// accepted pings exactly its rules' roles and users, and no text a player typed pings anyone.
TEST_F(AlertsPlayTest, RulesPingExactlyTheirRolesAndUsersAndNothingElsePings) {
  WriteConfig({{"white-list", {"give", "say"}},
               {"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {"*"}}}}},
               {"discord", {{"posts-per-minute", 30 * kTimeScale}, {"notify", "blocked"}}},
               {"alerts",
                {{{"commands", {"destroywilddinos", "destroyall"}},
                  {"mention", {"<@&123456789012345678>"}}},
                 {{"blocked", true}, {"mention", {"<@111111111111111111>", "@everyone"}}}}}});
  const Play play =
      Run("join mia eos=E1 name=Mia admin\n"
          "join rex eos=E2 name=Rex\n"
          "cmd mia DestroyWildDinos\nwait\n"
          "cmd rex give 1\nwait\n"
          "cmd rex say <@&123456789012345678> @everyone <@111111111111111111>\nwait\n"
          "cmd rex give 1|destroyall\nwait\n"
          "cmd rex fly @here <@&5>\nwait\n"
          "rcon DestroyWildDinos\nwait\n"
          "rcon ListPlayers\nwait\n");
  EXPECT_EQ(play.exit_code, 0);
  // The mention that is none is refused at load, with one line naming it.
  ASSERT_FALSE(play.log.empty());
  EXPECT_EQ(play.log[0],
            "[ASA:Quillmark][error] config.json: \"alerts\"[1].\"mention\"[1] \"@everyone\" is not "
            "a mention (\"<@&ROLE_ID>\" for a role, \"<@USER_ID>\" for a user, the id in digits): "
            "it is dropped");
  const std::string role = "role 123456789012345678";
  const std::string user = "user 111111111111111111";
  EXPECT_EQ(receiver_.GetSummary().pings, (std::vector<std::string>{role, role, user, user, role}));
  // Allowed commands without an alert are not posted; the RCON command without one is.
  std::vector<std::string> contents;
  for (const json& post : Posts()) {
    contents.push_back(post.value("content", std::string()));
    EXPECT_EQ(post["allowed_mentions"]["parse"], json::array()) << post.dump();
  }
  EXPECT_EQ(contents, (std::vector<std::string>{
                          "<@&123456789012345678>", "<@&123456789012345678> <@111111111111111111>",
                          "<@111111111111111111>", "<@&123456789012345678>", ""}));
}

}  // namespace
