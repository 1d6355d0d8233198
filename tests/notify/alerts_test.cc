// The alert rules: what config.json's "alerts" becomes and each problem found there, which
// commands each rule matches, and the bodies of the posts that ping and of those that do not.
#include "notify/alerts.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "notify/discord_body.h"

namespace {

using nlohmann::json;
using quillmark::AlertMentions;
using quillmark::ReadAlerts;

constexpr char kRole[] = "<@&123456789012345678>";
constexpr char kUser[] = "<@111111111111111111>";

TEST(AlertsTest, MentionsAreRolesOrUsersByDigitsOnly) {
  for (const char* good : {kRole, kUser, "<@1>", "<@&18446744073709551615>"}) {
    EXPECT_TRUE(quillmark::IsMention(good)) << good;
  }
  for (const char* bad : {"@everyone", "@here", "<@!111111111111111111>", "<@&>", "<@>", "<#123>",
                          "<@&12a>", "<@&18446744073709551616>", "<@123456789012345678901>",
                          " <@1>", "<@1> ", "<@&-1>", "123456789012345678", "<@&1><@2>"}) {
    EXPECT_FALSE(quillmark::IsMention(bad)) << bad;
  }
}

// Which rules match a command: the rules are those of the issue's example, and a "*" rule for
// RCON-like words.
struct MatchCase {
  const char* line;
  bool blocked;
  std::vector<std::string> mentions;
};

class AlertMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(AlertMatchTest, MatchesWholeWordsOfEveryPart) {
  std::vector<quillmark::ConfigProblem> problems;
  const auto rules = ReadAlerts(json::parse(R"({"alerts": [
      {"commands": ["destroywilddinos", "DestroyAll"], "mention": ["<@&123456789012345678>"]},
      {"blocked": true, "mention": ["<@111111111111111111>", "<@&123456789012345678>"]}]})"),
                                problems);
  ASSERT_TRUE(problems.empty());
  EXPECT_EQ(AlertMentions(rules, GetParam().line, GetParam().blocked), GetParam().mentions)
      << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AlertMatchTest,
    ::testing::Values(
        MatchCase{"DestroyWildDinos", false, {kRole}}, MatchCase{"  destroyall 1", false, {kRole}},
        MatchCase{"DESTROYWILDDINOS\t1", false, {kRole}},
        MatchCase{"destroywilddinosx", false, {}},     // whole words only
        MatchCase{"destroy", false, {}},               // ... not a prefix
        MatchCase{"say destroywilddinos", false, {}},  // the command word only
        MatchCase{"give 1|DestroyWildDinos", false, {kRole}},
        MatchCase{"give 1\r\n  destroyall", false, {kRole}},
        MatchCase{"destroywilddinos//x", false, {kRole}},
        MatchCase{"say \"|destroyall\"", false, {}},    // inside quotes: one part
        MatchCase{"fly", true, {kUser, kRole}},         // the blocked rule: its mentions, in order
        MatchCase{"destroyall", true, {kRole, kUser}},  // each mention once, in rule order
        MatchCase{"", true, {kUser, kRole}}, MatchCase{"fly", false, {}}));

// What "alerts" becomes, and the error lines it gives.
struct ReadCase {
  const char* name;
  json alerts;
  std::size_t rules;
  std::vector<std::string> problems;  // paths
  std::string first_message = {};     // of the first problem, without "config.json: "
};

class AlertReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AlertReadTest, KeepsWhatPingsAndNamesEveryProblem) {
  std::vector<quillmark::ConfigProblem> problems;
  const auto rules = ReadAlerts(json{{"alerts", GetParam().alerts}}, problems);
  EXPECT_EQ(rules.size(), GetParam().rules);
  std::vector<std::string> paths;
  for (const auto& problem : problems) {
    paths.push_back(problem.path);
    EXPECT_EQ(problem.message.rfind("config.json: ", 0), 0u) << problem.message;
  }
  EXPECT_EQ(paths, GetParam().problems);
  if (!GetParam().first_message.empty() && !problems.empty()) {
    EXPECT_EQ(problems[0].message.substr(13), GetParam().first_message);
  }
}

const std::string kMany = [] {
  json mentions = json::array();
  for (int i = 1; i <= 101; ++i) mentions.push_back("<@&" + std::to_string(i) + ">");
  return mentions.dump();
}();

INSTANTIATE_TEST_SUITE_P(
    Configs, AlertReadTest,
    ::testing::Values(
        ReadCase{"Good",
                 json::parse(R"([{"commands": ["a"], "mention": ["<@1>"]},
                                         {"blocked": true, "mention": ["<@&2>", "<@&2>"]}])"),
                 2,
                 {}},
        ReadCase{"NotAnArray",
                 json::object(),
                 0,
                 {"/alerts"},
                 "\"alerts\" must be an array of rules, but is object: nothing pings"},
        ReadCase{"RuleNotAnObject", json::parse(R"([1, {"mention": ["<@1>"]}])"), 1, {"/alerts/0"}},
        ReadCase{"BadMentionDropped",
                 json::parse(R"([{"mention": ["@everyone", "<@1>", "<@!2>"]}])"),
                 1,
                 {"/alerts/0/mention/0", "/alerts/0/mention/2"},
                 "\"alerts\"[0].\"mention\"[0] \"@everyone\" is not a mention (\"<@&ROLE_ID>\" "
                 "for a role, \"<@USER_ID>\" for a user, the id in digits): it is dropped"},
        ReadCase{"RuleLeftWithoutMentionDropped",
                 json::parse(R"([{"commands": ["a"], "mention": ["<@abc>"]}])"),
                 0,
                 {"/alerts/0/mention/0"},
                 "\"alerts\"[0].\"mention\"[0] \"<@abc>\" is not a mention (\"<@&ROLE_ID>\" for "
                 "a role, \"<@USER_ID>\" for a user, the id in digits): it is dropped, and the "
                 "rule with it, which has no other"},
        ReadCase{"NoMention",
                 json::parse(R"([{"commands": ["a"]}, {"mention": []},
                                              {"mention": "<@1>"}])"),
                 0,
                 {"/alerts/0", "/alerts/1/mention", "/alerts/2/mention"},
                 "\"alerts\"[0] has no \"mention\": the rule is dropped"},
        ReadCase{"BadCommands",
                 json::parse(R"([{"commands": "a", "mention": ["<@1>"]},
                                 {"commands": [], "mention": ["<@1>"]},
                                 {"commands": [1, "b"], "mention": ["<@1>"]}])"),
                 1,
                 {"/alerts/0/commands", "/alerts/1/commands", "/alerts/2/commands/0"}},
        ReadCase{"BadBlocked",
                 json::parse(R"([{"blocked": "yes", "mention": ["<@1>"]}])"),
                 0,
                 {"/alerts/0/blocked"},
                 "\"alerts\"[0].\"blocked\" must be true or false, but is \"yes\": the rule is "
                 "dropped"},
        ReadCase{"MoreRolesThanAPostNames",
                 json::parse(R"([{"mention": )" + kMany + "}]"),
                 1,
                 {"/alerts/0/mention/100"},
                 "\"alerts\"[0].\"mention\"[100] \"<@&101>\" would make a post name more than "
                 "100 roles, more than Discord takes: it is dropped"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(AlertsTest, EveryMentionOfEveryRuleFitsOnePostsContent) {
  json alerts = json::array();
  for (int i = 0; i < 90; ++i) {
    alerts.push_back({{"mention", {"<@" + std::to_string(1000000000000000000ULL + i) + ">"}}});
  }
  std::vector<quillmark::ConfigProblem> problems;
  const auto rules = ReadAlerts(json{{"alerts", alerts}}, problems);
  // 22 characters and a space each: 87 fit 2000 characters.
  EXPECT_EQ(rules.size(), 87u);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].message.find("more than 2000 characters"), std::string::npos);
  const auto mentions = AlertMentions(rules, "x", false);
  std::string content;
  for (const auto& m : mentions) content += (content.empty() ? "" : " ") + m;
  EXPECT_LE(content.size(), quillmark::kMaxContent);
}

// The body of a post that pings names exactly its mentions; every other body pings nobody,
// whatever its embeds say.
TEST(AlertsTest, OnlyTheContentsMentionsPing) {
  const auto embed =
      quillmark::MakeEmbed(quillmark::kBlockedTitle, "say @everyone <@&5> <@6> @here", 1);
  const json plain = json::parse(quillmark::DiscordBody(embed, "Audit"));
  EXPECT_FALSE(plain.contains("content"));
  EXPECT_EQ(plain["allowed_mentions"], json::parse(R"({"parse": []})"));
  const json alert =
      json::parse(quillmark::DiscordBody({&embed, &embed}, "Audit", {kUser, kRole, "<@2>"}));
  EXPECT_EQ(alert["content"], "<@111111111111111111> <@&123456789012345678> <@2>");
  EXPECT_EQ(alert["allowed_mentions"], json::parse(R"({"parse": [],
      "roles": ["123456789012345678"], "users": ["111111111111111111", "2"]})"));
  EXPECT_EQ(alert["embeds"], json::parse(quillmark::DiscordBody({&embed, &embed}, "A"))["embeds"]);
}

}  // namespace
