// The configuration checker: every finding has a configuration that triggers it, at its place
// and with its severity, and a close one that does not; the token is never shown.
#include "tools/config_check.h"

#include <gtest/gtest.h>

#include <string>

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
        FindingCase{"webhook_not_discord",
                    R"({"discordwh":"https://example.com/api/webhooks/1/t"})",
                    R"({"discordwh":"https://discord.com/api/webhooks/1/t"})", "/discordwh",
                    kWarning, "not a Discord webhook URL"},
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
        FindingCase{"typo_blocked", R"({"messages":{"blocked-message":"no"}})",
                    R"({"messages":{"blocked":"no"}})", "/messages/blocked-message", kWarning,
                    "is not a key the plugin reads"},
        FindingCase{"typo_notify", R"({"discord":{"notfy":"all"}})",
                    R"({"discord":{"notify":"all"}})", "/discord/notfy", kWarning,
                    "did you mean \"notify\""},
        FindingCase{"typo_entry_key", R"({"admins":[{"eosid":["$A"],"allowed_commands":["fly"]}]})",
                    R"({"admins":[{"eosid":["$A"],"allowed-commands":["fly"]}]})",
                    "/admins/0/allowed_commands", kWarning, "did you mean \"allowed-commands\""}),
    [](const ::testing::TestParamInfo<FindingCase>& param) {
      return std::string(param.param.name);
    });

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
