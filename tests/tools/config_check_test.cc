// The configuration checker: every finding has a configuration that triggers it, at its place
// and with its severity, and a close one that does not; the token is never shown.
#include "tools/config_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "audit/allow_list.h"
#include "base/config.h"
#include "base/url_mask.h"
#include "support/server_folder.h"

namespace quillmark::tools {
namespace {

using nlohmann::json;

constexpr char kId[] = "0002d4c2a1b34e7f9c0e5a1b2c3d4e5f";
constexpr char kOtherId[] = "00021f8e7d6c5b4a39281706f5e4d3c2";

struct FindingCase {
  const char* name;
  const char* triggers;  // a configuration with the finding
  const char* clean;     // a close one without it
  const char* path;
  Severity severity;
  const char* says;  // part of the message
};

// Configurations name EOS ids as $A and $B.
std::string Text(std::string text) {
  for (const auto& [mark, id] : {std::pair{"$A", kId}, std::pair{"$B", kOtherId}}) {
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
      text.replace(at, 2, id);
    }
  }
  return text;
}
json Config(const std::string& text) { return json::parse(Text(text)); }

bool Has(const CheckReport& report, const FindingCase& c) {
  for (const Finding& finding : report.findings) {
    if (finding.path == c.path && finding.severity == c.severity &&
        finding.message.find(c.says) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::string Shown(const CheckReport& report) { return FormatReport("config.json", report); }

class FindingTest : public ::testing::TestWithParam<FindingCase> {};

TEST_P(FindingTest, IsFoundWhereItIsAndNowhereElse) {
  const FindingCase& c = GetParam();
  const CheckReport triggered = CheckConfig(Config(c.triggers));
  EXPECT_TRUE(Has(triggered, c)) << Shown(triggered);
  EXPECT_EQ(triggered.ExitStatus(), c.severity == Severity::kError ? 2 : 1) << Shown(triggered);
  const CheckReport clean = CheckConfig(Config(c.clean));
  EXPECT_TRUE(clean.findings.empty()) << Shown(clean);
  EXPECT_EQ(clean.ExitStatus(), 0);
}

constexpr Severity kError = Severity::kError;
constexpr Severity kWarning = Severity::kWarning;

INSTANTIATE_TEST_SUITE_P(
    Findings, FindingTest,
    ::testing::Values(
        FindingCase{"grant_not_text",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly",3]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly","3"]}]})",
                    "/admins/0/allowed-commands/1", kError, "is not text"},
        FindingCase{"grant_list_a_number", R"({"admins":[{"eosid":["$A"],"allowed-commands":7}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["7"]}]})",
                    "/admins/0/allowed-commands", kError, "is not text"},
        FindingCase{"webhook_not_text", R"({"discordwh":5})", R"({"discordwh":""})", "/discordwh",
                    kError, "notifications are off"},
        FindingCase{"messages_not_object",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":"x"})",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{}})",
                    "/messages", kError, "must be an object"},
        FindingCase{"sender_too_long",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":
                    "123456789012345678901234567890123456789012345678901234567890123456789012345678901"}})",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":
                    "12345678901234567890123456789012345678901234567890123456789012345678901234567890"}})",
                    "/messages/sender", kError, "81 characters"},
        FindingCase{
            "sender_says_discord",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":"My DISCORD log"}})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":"My log"}})",
            "/messages/sender", kError, "\"discord\""},
        FindingCase{
            "sender_says_clyde",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":"Clyde"}})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","messages":{"sender":"Clive"}})",
            "/messages/sender", kError, "\"clyde\""},
        FindingCase{
            "pace_out_of_range",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","discord":{"posts-per-minute":0}})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","discord":{"posts-per-minute":1}})",
            "/discord/posts-per-minute", kError, "whole number"},
        FindingCase{"white_list_not_array", R"({"white-list":"give"})",
                    R"({"white-list":["give"]})", "/white-list", kWarning, "must be an array"},
        FindingCase{"white_list_element_not_text", R"({"white-list":["give",null]})",
                    R"({"white-list":["give","null"]})", "/white-list/1", kWarning, "not text"},
        FindingCase{"white_list_star", R"({"white-list":["*"]})", R"({"white-list":["s"]})",
                    "/white-list/0", kWarning, "not a wildcard"},
        FindingCase{"grant_blank_star",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":[" *"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["*"]}]})",
                    "/admins/0/allowed-commands/0", kWarning, "blank"},
        FindingCase{"grant_double_star",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["**"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["*"]}]})",
                    "/admins/0/allowed-commands/0", kWarning, "not a wildcard"},
        FindingCase{"grant_star_prefix",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["*fly"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed-commands/0", kWarning, "not a wildcard"},
        FindingCase{"white_list_bar", R"({"white-list":["give|fly"]})",
                    R"({"white-list":["give\"|\"fly"]})", "/white-list/0", kWarning,
                    "holds a \"|\" outside double quotes"},
        FindingCase{"grant_line_break",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly\n"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed-commands/0", kWarning, "holds a line break"},
        FindingCase{"white_list_empty_entry", R"({"white-list":["give",""]})",
                    R"({"white-list":["give"]})", "/white-list/1", kWarning, "empty"},
        FindingCase{"grant_empty", R"({"admins":[{"eosid":["$A"],"allowed-commands":[""]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed-commands/0", kWarning, "empty"},
        FindingCase{"white_list_prefix", R"({"white-list":["giveitem","fly","Give"]})",
                    R"({"white-list":["giveitem","fly","gave"]})", "/white-list/0", kWarning,
                    "already let through by \"give\" (/white-list/2)"},
        FindingCase{"white_list_repeat", R"({"white-list":["give","GIVE"]})",
                    R"({"white-list":["give","gave"]})", "/white-list/1", kWarning, "repeats"},
        FindingCase{"eos_id_not_hex",
                    R"({"admins":[{"eosid":["0002-rex"],"allowed-commands":["fly"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/eosid/0", kWarning, "not an EOS id"},
        FindingCase{
            "eos_id_upper_case",
            R"({"admins":[{"eosid":["0002D4C2A1B34E7F9C0E5A1B2C3D4E5F"],"allowed-commands":["fly"]}]})",
            R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})", "/admins/0/eosid/0",
            kWarning, "lower case"},
        FindingCase{"eos_id_in_two_entries",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]},
                                  {"eosid":["$B","$A"],"allowed-commands":["ghost"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]},
                                  {"eosid":["$B"],"allowed-commands":["ghost"]}]})",
                    "/admins/1/eosid/1", kWarning, "already named at /admins/0/eosid/0"},
        FindingCase{"eos_id_not_array", R"({"admins":[{"eosid":"$A","allowed-commands":["fly"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/eosid", kWarning, "must be an array"},
        FindingCase{"grants_as_text", R"({"admins":[{"eosid":["$A"],"allowed-commands":"fly"}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed-commands", kWarning, "list of one"},
        FindingCase{"entry_not_object",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]},"$B"]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})", "/admins/1",
                    kWarning, "must be an object"},
        FindingCase{"webhook_not_discord", R"({"discordwh":"https://discord.com/webhooks/1/t"})",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t"})", "/discordwh",
                    kWarning, "not a Discord webhook URL"},
        FindingCase{"webhook_elsewhere",
                    R"({"discordwh":"https://discord.com.example.net/api/webhooks/1/t"})",
                    R"({"discordwh":"https://ptb.discord.com/api/webhooks/1/t"})", "/discordwh",
                    kError, "is not https:// to a Discord host"},
        FindingCase{"webhook_without_tls", R"({"discordwh":"http://discord.com/api/webhooks/1/t"})",
                    R"({"discordwh":"http://127.0.0.1:8787/api/webhooks/1/t",
                        "discord":{"allow-any-webhook-host":true}})",
                    "/discordwh", kError,
                    "whoever answers in Discord's place gets the webhook's token"},
        FindingCase{"any_host_not_boolean",
                    R"({"discordwh":"http://127.0.0.1/api/webhooks/1/t",
                        "discord":{"allow-any-webhook-host":"yes"}})",
                    R"({"discordwh":"http://127.0.0.1/api/webhooks/1/t",
                        "discord":{"allow-any-webhook-host":true}})",
                    "/discord/allow-any-webhook-host", kError, "must be true or false"},
        FindingCase{"webhook_old_host",
                    R"({"discordwh":"https://discordapp.com/api/webhooks/1/t"})",
                    R"({"discordwh":"https://canary.discord.com/api/v10/webhooks/1/t"})",
                    "/discordwh", kWarning, "discordapp.com"},
        FindingCase{"typo_white_list", R"({"whitelist":["give"]})", R"({"white-list":["give"]})",
                    "/whitelist", kWarning, "did you mean \"white-list\""},
        FindingCase{"typo_admins", R"({"admin":[]})", R"({"admins":[],"_note":"remarks pass"})",
                    "/admin", kWarning, "did you mean \"admins\""},
        FindingCase{"rcon_audit_not_boolean", R"({"rcon":{"audit":1}})",
                    R"({"rcon":{"audit":true}})", "/rcon/audit", kError, "true or false"},
        FindingCase{"blocked_message_not_text", R"({"messages":{"blocked":false}})",
                    R"({"messages":{"blocked":"no"}})", "/messages/blocked", kError,
                    "blocked players are not told"},
        FindingCase{
            "notify_unknown",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","discord":{"notify":"none"}})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","discord":{"notify":"blocked"}})",
            "/discord/notify", kError, "must be \"all\" or \"blocked\""},
        FindingCase{"typo_rcon", R"({"rcn":{"audit":false}})", R"({"rcon":{"audit":false}})",
                    "/rcn", kWarning, "did you mean \"rcon\""},
        FindingCase{"typo_rcon_audit", R"({"rcon":{"audti":false}})", R"({"rcon":{"audit":false}})",
                    "/rcon/audti", kWarning, "did you mean \"audit\""},
        FindingCase{"journal_keep_days_negative", R"({"journal":{"keep-days":-1}})",
                    R"({"journal":{"keep-days":0}})", "/journal/keep-days", kError,
                    "whole number from 0 up"},
        FindingCase{"journal_day_limit_zero", R"({"journal":{"day-limit-mib":0}})",
                    R"({"journal":{"day-limit-mib":1}})", "/journal/day-limit-mib", kError,
                    "whole number from 1 up"},
        FindingCase{"journal_enabled_text", R"({"journal":{"enabled":"no"}})",
                    R"({"journal":{"enabled":false}})", "/journal/enabled", kError,
                    "true or false"},
        FindingCase{"journal_folder_empty", R"({"journal":{"folder":""}})",
                    R"({"journal":{"folder":"D:/cluster/journal"}})", "/journal/folder", kError,
                    "folder's name or path"},
        FindingCase{"typo_journal_keep", R"({"journal":{"keepdays":30}})",
                    R"({"journal":{"keep-days":30}})", "/journal/keepdays", kWarning,
                    "did you mean \"keep-days\""},
        FindingCase{"typo_blocked", R"({"messages":{"blocked-message":"no"}})",
                    R"({"messages":{"blocked":"no"}})", "/messages/blocked-message", kWarning,
                    "is not a key the plugin reads"},
        FindingCase{"typo_notify", R"({"discord":{"notfy":"all"}})",
                    R"({"discord":{"notify":"all"}})", "/discord/notfy", kWarning,
                    "did you mean \"notify\""},
        FindingCase{"typo_entry_key", R"({"admins":[{"eosid":["$A"],"allowed_commands":["fly"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed_commands", kWarning, "did you mean \"allowed-commands\""},
        FindingCase{"plugin_commands_not_object", R"({"plugin-commands":["giveitem"]})",
                    R"({"plugin-commands":{"allowed-commands":["giveitem"]}})", "/plugin-commands",
                    kError, "plugins run only what their players may"},
        FindingCase{"plugin_words_not_array",
                    R"({"plugin-commands":{"allowed-commands":"giveitem"}})",
                    R"({"plugin-commands":{"allowed-commands":["giveitem"]}})",
                    "/plugin-commands/allowed-commands", kError, "must be an array"},
        FindingCase{"plugin_word_not_text",
                    R"({"plugin-commands":{"allowed-commands":["giveitem",2]}})",
                    R"({"plugin-commands":{"allowed-commands":["giveitem","2"]}})",
                    "/plugin-commands/allowed-commands/1", kError, "it is passed over"},
        FindingCase{"plugin_word_star_prefix",
                    R"({"plugin-commands":{"allowed-commands":["give*"]}})",
                    R"({"plugin-commands":{"allowed-commands":["*"]}})",
                    "/plugin-commands/allowed-commands/0", kWarning, "not a wildcard"},
        FindingCase{"plugin_word_with_blank",
                    R"({"plugin-commands":{"allowed-commands":["giveitem 1"]}})",
                    R"({"plugin-commands":{"allowed-commands":["giveitem"]}})",
                    "/plugin-commands/allowed-commands/0", kWarning, "holds a blank"},
        FindingCase{"plugin_commands_without_words", R"({"plugin-commands":{}})",
                    R"({"plugin-commands":{"allowed-commands":[]}})", "/plugin-commands", kWarning,
                    "has no \"allowed-commands\""},
        FindingCase{"typo_plugin_commands", R"({"plugin-command":{"allowed-commands":[]}})",
                    R"({"plugin-commands":{"allowed-commands":[]}})", "/plugin-command", kWarning,
                    "did you mean \"plugin-commands\""},
        FindingCase{"typo_plugin_words", R"({"plugin-commands":{"allowed":[]}})",
                    R"({"plugin-commands":{"allowed-commands":[]}})", "/plugin-commands/allowed",
                    kWarning, "is not a key the plugin reads"},
        FindingCase{
            "alert_mention_not_one",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"mention":["<@&1>","@here"]}]})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"mention":["<@&1>","<@2>"]}]})",
            "/alerts/0/mention/1", kError, "\"@here\" is not a mention"},
        FindingCase{
            "alert_without_mention",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"commands":["fly"]}]})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"commands":["fly"],"mention":["<@2>"]}]})",
            "/alerts/0", kError, "has no \"mention\": the rule is dropped"},
        FindingCase{
            "alert_blocked_not_boolean",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"blocked":1,"mention":["<@2>"]}]})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"blocked":false,"mention":["<@2>"]}]})",
            "/alerts/0/blocked", kError, "must be true or false"},
        FindingCase{
            "alert_word_never_matches",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"commands":["destroy all"],"mention":["<@2>"]}]})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"commands":["destroyall"],"mention":["<@2>"]}]})",
            "/alerts/0/commands/0", kWarning, "it never matches"},
        FindingCase{
            "alert_typo_key",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"mentions":["<@2>"],"mention":["<@2>"]}]})",
            R"({"discordwh":"https://discord.com/api/webhooks/1/t","alerts":[{"mention":["<@2>"]}]})",
            "/alerts/0/mentions", kWarning, "did you mean \"mention\""},
        FindingCase{"alerts_without_webhook", R"({"alerts":[{"mention":["<@2>"]}]})",
                    R"({"alerts":[]})", "/alerts", kWarning, "nothing pings"}),
    [](const ::testing::TestParamInfo<FindingCase>& param) {
      return std::string(param.param.name);
    });

// What a file holds outside its one JSON value: a comment, refused with its line; text after the
// value, passed over by the plugin and warned about where it begins. A "/" inside a text and
// blanks after the value are neither.
struct OutsideTheValueCase {
  const char* name;
  const char* text;
  Severity severity;
  std::size_t line;
  std::size_t column;
  const char* says;
};

class OutsideTheValueTest : public ::testing::TestWithParam<OutsideTheValueCase> {};

TEST_P(OutsideTheValueTest, IsFoundAtItsLineAndColumn) {
  const OutsideTheValueCase& c = GetParam();
  const CheckReport report = CheckConfigText(c.text);
  const std::string shown = Shown(report);
  std::vector<Finding> placed;  // (a number at the top level is an error of its own, unplaced)
  std::copy_if(report.findings.begin(), report.findings.end(), std::back_inserter(placed),
               [](const Finding& finding) { return finding.line != 0; });
  ASSERT_EQ(placed.size(), 1U) << shown;
  const Finding& finding = placed[0];
  EXPECT_EQ(finding.severity, c.severity) << shown;
  EXPECT_EQ(std::pair(finding.line, finding.column), std::pair(c.line, c.column)) << shown;
  EXPECT_NE(finding.message.find(c.says), std::string::npos) << shown;
  EXPECT_NE(finding.message.find(fmt::format("line {}", c.line)), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OutsideTheValueTest,
    ::testing::Values(
        OutsideTheValueCase{"remark_line", "{\n// who may run what\n\"white-list\": []\n}", kError,
                            2, 1, "comments are not allowed"},
        OutsideTheValueCase{"indented_remark", "{\n  // who may run what\n  \"white-list\": []\n}",
                            kError, 2, 3, "comments are not allowed"},
        OutsideTheValueCase{"remark_after_a_url",
                            "{\"discordwh\": \"https://discord.com/api/webhooks/1/t\", // hook\n}",
                            kError, 1, 55, "comments are not allowed"},
        OutsideTheValueCase{"block_comment", "{\"white-list\": [\"give\" /* all */]}", kError, 1,
                            24, "comments are not allowed"},
        OutsideTheValueCase{"admins_after_the_value",
                            R"({"white-list":["give"]},"admins":[{"eosid":["a"]}]})", kWarning, 1,
                            24, "passes over the rest"},
        OutsideTheValueCase{"second_object", "{\"white-list\": [\"give\"]}\n\n  {\"admins\": []}\n",
                            kWarning, 3, 3, "passes over the rest"},
        OutsideTheValueCase{"after_a_number", "7x", kWarning, 1, 2, "passes over the rest"}),
    [](const ::testing::TestParamInfo<OutsideTheValueCase>& param) {
      return std::string(param.param.name);
    });

// Entries that name groups of the Permissions plugin, beside or instead of EOS ids.
INSTANTIATE_TEST_SUITE_P(
    GroupFindings, FindingTest,
    ::testing::Values(
        FindingCase{"groups_not_array",
                    R"({"admins":[{"groups":"Moderators","allowed-commands":["fly"]}]})",
                    R"({"admins":[{"groups":["Moderators"],"allowed-commands":["fly"]}]})",
                    "/admins/0/groups", kWarning, "must be an array of group names"},
        FindingCase{
            "group_not_text",
            R"({"admins":[{"eosid":["$A"],"groups":["Mods",3],"allowed-commands":["fly"]}]})",
            R"({"admins":[{"eosid":["$A"],"groups":["Mods"],"allowed-commands":["fly"]}]})",
            "/admins/0/groups/1", kWarning, "names no group"},
        FindingCase{"group_empty", R"({"admins":[{"groups":[""],"allowed-commands":["fly"]}]})",
                    R"({"admins":[{"groups":[" "],"allowed-commands":["fly"]}]})",
                    "/admins/0/groups/0", kWarning, "is empty"},
        FindingCase{"neither_ids_nor_groups", R"({"admins":[{"allowed-commands":["fly"]}]})",
                    R"({"admins":[{"groups":["Mods"],"allowed-commands":["fly"]}]})", "/admins/0",
                    kWarning, "has no \"eosid\""}),
    [](const auto& param) { return std::string(param.param.name); });

// Groups say something only where the Permissions plugin is loaded: the server of the file is
// looked at for its folder.
TEST(ConfigCheckTest, GroupsWantThePermissionsPluginsFolder) {
  const testing::ServerFolder folder;
  const std::string path = (folder.PluginDir() / "config.json").string();
  folder.WriteConfig(R"({"admins": [{"eosid": ["x"], "allowed-commands": ["fly"]},
    {"groups": ["Moderators"], "allowed-commands": ["fly"]}]})");
  const auto warned = [&] {
    for (const Finding& finding : CheckConfigFile(path).findings) {
      if (finding.path == "/admins/1/groups" &&
          finding.message.find("no ArkApi/Plugins/Permissions/") != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(warned());
  std::filesystem::create_directories(folder.PluginDir().parent_path() / "Permissions");
  EXPECT_FALSE(warned());
  // A file outside a server's plugin folder: nothing to say about its server.
  EXPECT_TRUE(
      PermissionsFindings("draft/config.json", json::parse(R"({"admins": [{"groups": ["M"]}]})"))
          .empty());
}

TEST(ConfigCheckTest, SlashesInTextsAndBlanksAfterTheValueAreClean) {
  for (const char* text : {"{\"white-list\": [\"//give\", \"/x\"]}\n \t\r\n", "{}", "{} "}) {
    const CheckReport report = CheckConfigText(text);
    EXPECT_EQ(report.ExitStatus(), 0) << Shown(report);
  }
}

// The example configuration, its remarks deleted as it says, loads in the plugin and checks
// without an error; with its remarks it is refused at its first line.
TEST(ConfigCheckTest, ExampleLoadsOnceTheLinesThatBeginWithSlashesAreDeleted) {
  std::ifstream example(std::filesystem::path(QUILLMARK_SOURCE_DIR) / "packaging" /
                        "config.example.jsonc");
  ASSERT_TRUE(example.is_open());
  std::string commented;
  std::string stripped;
  for (std::string line; std::getline(example, line);) {
    commented += line + "\n";
    if (line.rfind("//", 0) != 0) stripped += line + "\n";
  }
  const testing::ServerFolder folder;
  const std::string path = (folder.PluginDir() / "config.json").string();
  folder.WriteConfig(stripped);
  const json config = ReadConfigFile(path);
  EXPECT_EQ(AllowList(config).WhiteListEntries(), 2U);
  const CheckReport checked = CheckConfigFile(path);
  for (const Finding& finding : checked.findings) {
    EXPECT_EQ(finding.severity, Severity::kWarning) << Shown(checked);
    EXPECT_NE(finding.path, "") << Shown(checked);  // nothing outside the value
  }
  const CheckReport refused = CheckConfigText(commented);
  ASSERT_EQ(refused.findings.size(), 1U) << Shown(refused);
  EXPECT_EQ(std::pair(refused.findings[0].line, refused.findings[0].column),
            (std::pair<std::size_t, std::size_t>{1, 1}));
}

TEST(ConfigCheckTest, RefusedFilesAreErrorsWithTheirPlace) {
  const testing::ServerFolder folder;
  const std::string path = (folder.PluginDir() / "config.json").string();
  EXPECT_EQ(CheckConfigFile(path).ExitStatus(), 2);  // no file yet

  folder.WriteConfig("{\n  \"white-list\": [\"give\",]\n}\n");
  const CheckReport report = CheckConfigFile(path);
  ASSERT_EQ(report.findings.size(), 1U);
  EXPECT_EQ(report.ExitStatus(), 2);
  EXPECT_EQ(report.findings[0].line, 2U);
  EXPECT_EQ(report.findings[0].column, 25U);
  EXPECT_NE(FormatReport("config.json", report).find("config.json:2:25: error: "),
            std::string::npos)
      << FormatReport("config.json", report);
}

// PluginInfo.json as the framework reads it: a wrongly typed value fails the load, except
// PreventUnloading, which then silently reads as false.
TEST(ConfigCheckTest, PluginInfoTypesAsTheFrameworkReadsThem) {
  const testing::ServerFolder folder;
  const std::string path = (folder.PluginDir() / "PluginInfo.json").string();
  struct Case {
    const char* text;
    int status;
    const char* finding;  // the one finding's beginning, as printed; null: none
    const char* summary;
  };
  for (const Case& c : {
           Case{
               R"({"FullName": "q", "Version": 0.1, "Dependencies": [], "PreventUnloading": true})",
               0, nullptr, "the plugin cannot be unloaded"},
           Case{R"({"PreventUnloading": "true"})", 1,
                "PluginInfo.json: warning: /PreventUnloading is string \"true\", not true or "
                "false: the framework reads it as false",
                "the plugin can be unloaded"},
           Case{R"({"Version": "1.0"})", 2,
                "PluginInfo.json: error: /Version is string \"1.0\", not a number: the "
                "framework does not load the plugin",
                "the framework does not load the plugin"},
           Case{R"({"Dependencies": ["Permissions", 1]})", 2,
                "PluginInfo.json: error: /Dependencies is array", nullptr},
           Case{"{", 2, "PluginInfo.json: error: is not a JSON object", nullptr},
       }) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    const CheckReport report = CheckPluginInfoFile(path);
    const std::string shown = FormatReport("PluginInfo.json", report);
    EXPECT_EQ(report.ExitStatus(), c.status) << shown;
    EXPECT_EQ(report.findings.size(), c.finding == nullptr ? 0U : 1U) << shown;
    if (c.finding != nullptr) {
      EXPECT_EQ(shown.rfind(c.finding, 0), 0U) << shown;
    }
    if (c.summary != nullptr) {
      EXPECT_NE(shown.find(c.summary), std::string::npos) << shown;
    }
  }
}

// The plugin keeps the last value of a repeated key and says nothing; the checker warns, at any
// level, each repeat at its place.
TEST(ConfigCheckTest, RepeatedKeysAreWarnedAtEveryLevel) {
  const CheckReport report = CheckConfigText(Text(R"({"white-list": ["give"], "white-list": [],
      "admins": [{"eosid": ["$A"], "allowed-commands": ["fly"]},
                 {"eosid": ["$B"], "eosid": [], "allowed-commands": ["fly"]}],
      "messages": {"sender": "a", "sender": "b", "sender": "c"}})"));
  std::vector<std::string> repeated;
  for (const Finding& finding : report.findings) {
    if (finding.message.find("more than once") != std::string::npos) {
      EXPECT_EQ(finding.severity, Severity::kWarning);
      repeated.push_back(finding.path);
    }
  }
  EXPECT_EQ(repeated, (std::vector<std::string>{"/white-list", "/admins/1/eosid",
                                                "/messages/sender", "/messages/sender"}));
  // The same key in two objects is no repeat.
  EXPECT_EQ(CheckConfigText(Text(R"({"admins": [{"eosid": ["$A"], "allowed-commands": ["fly"]},
      {"eosid": ["$B"], "allowed-commands": ["fly"]}]})"))
                .ExitStatus(),
            0);
}

TEST(ConfigCheckTest, NeverShowsTheWebhooksToken) {
  const char* const urls[] = {"https://discord.com/api/webhooks/123/s3cr3t-T0ken",
                              "https://discordapp.com/api/webhooks/123/s3cr3t-T0ken?wait=true",
                              "http://127.0.0.1:8787/hook/s3cr3t-T0ken", "s3cr3t-T0ken"};
  for (const char* url : urls) {
    const json config = {{"discordwh", url}, {"messages", {{"sender", "Discord"}}}};
    const std::string shown = FormatReport("config.json", CheckConfig(config));
    EXPECT_EQ(shown.find("s3cr3t"), std::string::npos) << shown;
    EXPECT_EQ(MaskWebhook(url).find("s3cr3t"), std::string::npos) << MaskWebhook(url);
  }
  EXPECT_EQ(MaskWebhook("https://discord.com/api/webhooks/123/tok"),
            "https://discord.com/api/webhooks/123/****");
  // A webhook's URL under any key, quoted in a finding, in its place, or in the parser's
  // message; the parser's place and the finding's are one.
  const char* const texts[] = {
      R"({"white-list": "https://discord.com/api/webhooks/1/s3cr3t"})",
      R"({"white-list": ["https://discord.com/api/webhooks/1/s3cr3t x"]})",
      R"({"https://discord.com/api/webhooks/1/s3cr3t": 1})",
      R"({"discordwh": "https://discord.com/api/webhooks/1/t",
          "discord": {"queue-limit": "https:\/\/discord.com\/api\/webhooks\/1\/s3cr3t"}})",
      "{\"note\":\n \"https://discord.com/api/webhooks/1/s3cr3t\\q\"}",
      "{\"note\": \"https\\u003a\\/\\/discord.com/api/\\u0077ebhooks/1/s3cr3t\\u0041s3cr3t\\q\"}",
      R"({"white-list": ["https://discord.com/api/%77ebhooks/1/s3cr3t x"]})",
      R"({"rcon": "https://discord.com/api/webhooks/1/s3cr3t"})",
      R"({"rcon": {"audit": "https://discord.com/api/webhooks/1/s3cr3t"}})",
      R"({"admins": {"https://discord.com/api/webhooks/1/s3cr3t":
                     {"eosid": ["00021f8e7d6c5b4a39281706f5e4d3c2",
                                "00021f8e7d6c5b4a39281706f5e4d3c2"],
                      "allowed-commands": ["fly", "fly"]}}})",
      R"({"discordwh": "https://discord.com/api/webhooks/1/t",
          "discord": {"notify": "https://discord.com/api/webhooks/1/s3cr3t"}})",
  };
  for (const char* text : texts) {
    const CheckReport report = CheckConfigText(text);
    const std::string shown = FormatReport("config.json", report);
    EXPECT_EQ(shown.find("s3cr3t"), std::string::npos) << shown;
    EXPECT_NE(shown.find("****"), std::string::npos) << shown;
    const Finding& first = report.findings.at(0);
    if (first.line != 0) {
      EXPECT_NE(first.message.find(" at line " + std::to_string(first.line) + ", column " +
                                   std::to_string(first.column) + ":"),
                std::string::npos)
          << shown;
    }
  }
}

}  // namespace
}  // namespace quillmark::tools
