// The dry run names the rule that decides each part, or why nothing lets it through.
#include "tools/explain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmark::tools {
namespace {

using nlohmann::json;

TEST(ExplainTest, NamesTheDecidingRule) {
  const json config = json::parse(R"({
    "white-list": ["tp", "Give"],
    "admins": {
      "b": {"eosid": ["other"], "allowed-commands": ["ghost"]},
      "a": {"eosid": ["rex"], "allowed-commands": {"x": "walk", "y": "FLY"}},
      "c": {"eosid": ["bad"], "allowed-commands": [7]}
    }})");
  struct Case {
    const char* eos;
    bool admin;
    const char* command;
    bool allowed;
    const char* says;
  };
  const Case cases[] = {
      {"rex", false, "GiveItem 1", true,
       "\"giveitem\" is white-listed by /white-list/1 (\"Give\")"},
      {"rex", true, "fly", true,
       "granted to rex by /admins/a (\"FLY\" at /admins/a/allowed-commands/y), and the "
       "administrator bit is set"},
      {"rex", false, "fly", false, "but the administrator bit is off"},
      {"rex", true, "ghost", false, "no entry of \"admins\" that names rex grants it"},
      {"nobody", true, "ghost", false, "no entry of \"admins\" names nobody"},
      {"bad", true, "ghost", false, "stopped at an element that is not text"},
      {"rex", true, "tp 1|fly|ghost", false,
       "runs this line as 3 commands, and command 3 is not allowed"},
      {"rex", true, "", false, "the empty command is not white-listed"},
      {"rex", false, "tp//x", true, "the console runs \"tp\": \"tp\" is white-listed"},
  };
  for (const Case& c : cases) {
    const Explanation explanation = Explain(config, c.eos, c.admin, c.command);
    std::string text;
    for (const std::string& line : explanation.lines) text.append(line).append("\n");
    EXPECT_EQ(explanation.allowed, c.allowed) << c.command << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.command << "\n" << text;
  }
}

// With --plugin, the question is asked of a command a plugin runs for the player: the player's
// own rules first, then "plugin-commands"; without it "plugin-commands" counts for nothing.
TEST(ExplainTest, AsksForAPluginsCommand) {
  const json config = json::parse(R"({
    "white-list": ["say"],
    "admins": [{"eosid": ["rex"], "allowed-commands": ["fly"]}],
    "plugin-commands": {"allowed-commands": ["GiveItem", "fly"]}})");
  struct Case {
    const char* command;
    bool admin;
    bool plugin;
    bool allowed;
    const char* says;
  };
  const Case cases[] = {
      {"giveitem 1", false, true, true,
       "let through (run by a plugin for the player)\n  \"giveitem 1\": \"giveitem\" is not the "
       "player's to run, but plugins may run it for players by "
       "/plugin-commands/allowed-commands/0 (\"GiveItem\")"},
      {"giveitem 1", false, false, false, "no entry of \"admins\" that names rex grants it\n"},
      {"fly", true, true, true, "\"fly\" is granted to rex by /admins/0"},
      {"fly", false, true, true, "/plugin-commands/allowed-commands/1"},
      {"say hi|spawndino", false, true, false,
       "2. \"spawndino\": \"spawndino\" is not white-listed, and no entry of \"admins\" that "
       "names rex grants it; nor is it a word of \"plugin-commands\""},
  };
  for (const Case& c : cases) {
    const Explanation explanation = Explain(config, "rex", c.admin, c.command, {}, c.plugin);
    std::string text;
    for (const std::string& line : explanation.lines) text.append(line).append("\n");
    EXPECT_EQ(explanation.allowed, c.allowed) << c.command << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.command << "\n" << text;
  }
}

// With --groups the player is in those groups of the Permissions plugin; without, in none.
TEST(ExplainTest, NamesTheGroupThatGranted) {
  const json config = json::parse(R"({"admins": [
    {"eosid": ["rex"], "allowed-commands": ["walk"]},
    {"groups": ["Builders", "Moderators"], "allowed-commands": ["fly", "walk"]}]})");
  struct Case {
    std::vector<std::string> groups;
    bool admin;
    const char* command;
    bool allowed;
    const char* says;
  };
  const Case cases[] = {
      {{"Moderators"},
       true,
       "fly",
       true,
       "\"fly\" is granted to rex by /admins/1 (\"fly\" at /admins/1/allowed-commands/0) "
       "through the group Moderators, and the administrator bit is set"},
      {{"Moderators"}, false, "fly", false, "blocked"},
      {{"Moderators"},
       true,
       "walk",
       true,
       "by /admins/0 (\"walk\" at /admins/0/allowed-commands/0), and"},
      {{}, true, "fly", false, "blocked"},
      {{"moderators"}, true, "fly", false, "blocked"},
  };
  for (const Case& c : cases) {
    const Explanation explanation = Explain(config, "rex", c.admin, c.command, c.groups);
    std::string text;
    for (const std::string& line : explanation.lines) text.append(line).append("\n");
    EXPECT_EQ(explanation.allowed, c.allowed) << c.command << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.command << "\n" << text;
  }
}

// What the dry run prints never shows the admin password, in any form the console runs, nor a
// webhook's token that the file holds; command words are shown as typed, in any language.
TEST(ExplainTest, ShowsWordsAsTypedAndHidesWhatIsSecret) {
  const json config = json::parse(R"({
    "white-list": ["ñandú", "https://discord.com/api/webhooks/1/s3cr3t"],
    "admins": [{"eosid": [""], "allowed-commands": ["EnableCheats"]}]})");
  struct Case {
    const char* eos;
    const char* command;
    bool allowed;
    const char* says;
  };
  const Case cases[] = {
      {"", "ñandú 1", true, "\"ñandú 1\": \"ñandú\" is white-listed by /white-list/0 (\"ñandú\")"},
      {"x", "ÑANDÚ", false, "\"ÑandÚ\" is not white-listed"},
      {"x", "https://discord.com/api/webhooks/1/s3cr3t/x", false,  // the console runs "https:"
       "(\"https://discord.com/api/webhooks/1/****\")"},
      {"", "EnableCheats hunter2", true,
       "\"EnableCheats ***\": \"enablecheats\" is granted to the empty EOS id"},
      {"", "ñandú|\"EnableCheats\"hunter2", false,
       "2. \"\"EnableCheats\" ***\": \"\"enablecheats\" ***\" is not white-listed"},
      {"", "\vEnableCheats hunter2", false,
       "\"\\x0BEnableCheats ***\": \"\\x0Benablecheats\" is not white-listed"},
      {"",
       "\xE3\x80\x80"
       "EnableCheats hunter2",
       false,
       "\"\xE3\x80\x80"
       "EnableCheats ***\""},
  };
  for (const Case& c : cases) {
    const Explanation explanation = Explain(config, c.eos, true, c.command);
    std::string text;
    for (const std::string& line : explanation.lines) text.append(line).append("\n");
    EXPECT_EQ(explanation.allowed, c.allowed) << c.command << "\n" << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.command << "\n" << text;
    EXPECT_EQ(text.find("hunter2"), std::string::npos) << text;
    if (std::string_view(c.command).find("s3cr3t") == std::string_view::npos) {
      EXPECT_EQ(text.find("s3cr3t"), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace quillmark::tools
