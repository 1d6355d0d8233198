// The decision on command words in any language: a word is compared as it was typed (UTF-8,
// only the ASCII letters folded), and on the ASCII the game's own commands are made of it
// decides exactly as the rules did when every character past ASCII was read as '?'.
#include "audit/decision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <string>

#include "audit/audit_text.h"
#include "audit/rule_place.h"
#include "support/allow_list_walk.h"
#include "support/config_generator.h"

namespace quillmark {
namespace {

using nlohmann::json;

HostText Units(const std::string& utf8) { return AsaApi::Tools::Utf8Decode(utf8); }

bool Decide(const json& config, const std::string& command, bool admin,
            std::vector<PartTrace>* trace = nullptr, const std::string& eos_id = "E1") {
  const AllowList rules(config);
  const HostText units = Units(command);
  return DecideCommand(
             rules, HostView(units), eos_id, [admin] { return admin; }, trace)
      .allowed;
}

TEST(DecisionTest, WordsInAnyLanguageMatchTheEntriesThatSpellThem) {
  struct Case {
    const char* entry;
    const char* command;
    bool white_listed;  // the entry as a prefix in "white-list"
    bool granted;       // the entry as a whole word in "allowed-commands"
  };
  const Case cases[] = {
      {"ñandú", "ñandú 1", true, true},  {"Ñandú", "ñandú 1", false, false},
      {"ñandú", "Ñandú", false, false},  {"Ñandú", "Ñandú 2", true, true},
      {"ñand", "ñandú", true, false},    {"?", "ñandú 1", false, false},
      {"?", "飞", false, false},         {"?", "?x", true, false},
      {"飞", "飞机", true, false},       {"Give", "GIVEITEM 1", true, false},
      {"🦖", "🦖 roar", true, true}, {"\xEF\xBF\xBD", "\xF0\x9F\xA6\x96", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " / " + c.command);
    EXPECT_EQ(Decide({{"white-list", {c.entry}}}, c.command, false), c.white_listed);
    const json granting = {{"admins", {{{"eosid", {"E1"}}, {"allowed-commands", {c.entry}}}}}};
    EXPECT_EQ(Decide(granting, c.command, true), c.granted);
  }
}

// The command word as it was compared before words were kept in UTF-8: every code unit past
// ASCII read as '?', the ASCII letters lower-cased.
std::string WordAsBefore(const std::string& part) {
  const HostText units = Units(part);
  const std::size_t start = units.find_first_not_of(HOST_TEXT(' '));
  std::string word;
  for (std::size_t i = start; i < units.size() && units[i] != HOST_TEXT(' '); ++i) {
    word += static_cast<std::uint16_t>(units[i]) < 0x80 ? static_cast<char>(units[i]) : '?';
  }
  return Lower(word);
}

// Whether a part passed by the rules as they were: white-listed, or granted (a search that fails
// grants nothing) while the administrator bit is set; walked on the document itself.
bool PassedBefore(const json& config, const std::string& eos_id, const std::string& part,
                  bool admin) {
  const std::string word = WordAsBefore(part);
  bool granted = false;
  try {
    granted = testing::IsGranted(config, eos_id, word);
  } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch): a failed search grants nothing
  }
  return testing::IsWhiteListed(config, word) || (admin && granted);
}

// A differential on generated configurations of every shape (their entries in other languages
// included) and generated console lines: on every line of ASCII, each part the console runs is
// decided as before, and so is the line. The same comparison tells the rules apart on lines
// beyond ASCII ("?bullition" let "ébullition" through).
TEST(DecisionTest, OnAsciiCommandsEveryConfigurationDecidesAsBefore) {
  testing::ConfigGenerator generate(20260712);
  std::size_t ascii = 0;
  std::size_t allowed = 0;
  std::size_t told_apart = 0;
  for (int round = 0; round < 4000; ++round) {
    const json config = generate.Config();
    for (int question = 0; question < 8; ++question) {
      const std::string command = generate.Command();
      const std::string eos_id = testing::kIds[generate.Below(testing::kIds.size())];
      const bool admin = !generate.OneIn(4);
      std::vector<PartTrace> trace;
      const bool decided = Decide(config, command, admin, &trace, eos_id);
      bool before = true;
      bool differs = false;
      for (const PartTrace& part : trace) {
        const bool passed = PassedBefore(config, eos_id, part.text, admin);
        differs = differs || passed != part.allowed;
        before = before && passed;
      }
      if (std::any_of(command.begin(), command.end(), [](char c) { return c & 0x80; })) {
        told_apart += differs ? 1 : 0;
        continue;
      }
      ++ascii;
      allowed += decided ? 1 : 0;
      EXPECT_FALSE(differs) << config.dump() << " " << eos_id << " " << command;
      EXPECT_EQ(decided, before) << config.dump() << " " << eos_id << " " << command;
    }
  }
  // Every outcome is reached often.
  EXPECT_GT(ascii, 15000U);
  EXPECT_GT(allowed, 800U);
  EXPECT_GT(ascii - allowed, 10000U);
  EXPECT_GT(told_apart, 50U);
}

// The player's groups are asked for at most once per command, and only when a grant through them
// could count: the administrator bit set and a part that is not white-listed.
TEST(DecisionTest, AsksForThePlayersGroupsOnlyWhenTheyCouldGrant) {
  const json config = json::parse(R"({
    "white-list": ["say"],
    "admins": [
      {"eosid": ["E1"], "allowed-commands": ["walk"]},
      {"groups": ["Moderators"], "allowed-commands": ["fly", "ghost", "say"]}
    ]})");
  const AllowList rules(config);
  struct Case {
    const char* command;
    bool admin;
    std::optional<std::vector<std::string>> groups;  // nothing: the plugin is not loaded
    bool allowed;
    int asked;
    const char* group;  // through which the first part was let through
  };
  const std::vector<std::string> moderator = {"Default", "Moderators"};
  const Case cases[] = {
      {"fly", true, moderator, true, 1, "Moderators"},
      {"fly|ghost|fly", true, moderator, true, 1, "Moderators"},
      {"walk|fly", true, moderator, true, 1, ""},  // the first part by the EOS id
      {"fly", true, std::vector<std::string>{"Default"}, false, 1, ""},
      {"fly", true, std::nullopt, false, 1, ""},
      {"fly", false, moderator, false, 0, ""},   // the bit is clear: no grant could count
      {"say hi", true, moderator, true, 0, ""},  // white-listed
      {"walk", true, moderator, true, 0, ""},    // the EOS id's entry decides first
      {"cheat", true, moderator, false, 0, ""},  // no entry with groups grants it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    int asked = 0;
    const HostText units = Units(c.command);
    const Decision decision = DecideCommand(
        rules, HostView(units), "E1", [&c] { return c.admin; }, nullptr,
        [&] {
          ++asked;
          return c.groups;
        });
    EXPECT_EQ(decision.allowed, c.allowed);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(decision.grant_group, c.group);
  }
}

}  // namespace
}  // namespace quillmark

// The place of the rule that let a command through, for every shape "admins" and
// "allowed-commands" can take as the allow-list walks them; nothing when the entry is gone.
TEST(RulePlaceTest, NamesTheGrantingEntryInEveryShapeTheListIsWalkedIn) {
  struct Case {
    const char* config;
    std::size_t entry;
    std::size_t grant;
    const char* place;
  };
  const Case cases[] = {
      {R"({"admins": [{}, {"allowed-commands": ["a", "b"]}]})", 1, 1,
       "/admins/1/allowed-commands/1"},
      {R"({"admins": {"b~/x": {}, "a": {"allowed-commands": {"k": "fly"}}}})", 0, 0,
       "/admins/a/allowed-commands/k"},
      {R"({"admins": {"b~/x": {"allowed-commands": "fly"}, "a": {}}})", 1, 0,
       "/admins/b~0~1x/allowed-commands"},
      {R"({"admins": [{"allowed-commands": ["a"]}]})", 1, 0, ""},
      {R"({"admins": {"a": {"allowed-commands": ["a"]}}})", 1, 0, ""},
      {R"({"admins": null})", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    quillmark::Decision decision;
    decision.allowed = true;
    decision.grant_entry = c.entry;
    decision.grant = c.grant;
    EXPECT_EQ(quillmark::RulePlace(nlohmann::json::parse(c.config), decision), c.place);
  }
}
