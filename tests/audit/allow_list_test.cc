// The allow-list's index against the plain walk of the document, on generated configurations of
// every shape the file may take: wrongly typed values, repeated ids, "*", non-text elements.
#include "audit/allow_list.h"

#include <gtest/gtest.h>

#include <array>
#include <exception>
#include <string>
#include <vector>

#include "audit/audit_text.h"
#include "support/allow_list_walk.h"
#include "support/config_generator.h"

namespace quillmark {
namespace {

using nlohmann::json;
using testing::ConfigGenerator;
using testing::kIds;

TEST(AllowListTest, AnswersExactlyAsWalkingTheDocumentDoes) {
  ConfigGenerator generate(20261208);
  std::size_t grants = 0;
  std::size_t errors = 0;
  std::size_t white_listed = 0;
  for (int round = 0; round < 4000; ++round) {
    const json config = generate.Config();
    const AllowList index(config);
    for (int question = 0; question < 12; ++question) {
      const std::string word = generate.Word();
      const std::string id = kIds[generate.Below(kIds.size())];
      // Described only when a check fails.
      const auto context = [&] { return config.dump() + " word=" + word + " id=" + id; };

      const bool walked_white_list = testing::IsWhiteListed(config, word);
      EXPECT_EQ(index.WhiteListEntry(word) != kNowhere, walked_white_list) << context();
      white_listed += walked_white_list ? 1 : 0;

      const GrantFound found = index.FindGrant(id, word);
      try {
        const bool walked_grant = testing::IsGranted(config, id, word);
        EXPECT_EQ(found.granted, walked_grant) << context();
        EXPECT_EQ(found.error, "") << context();
        grants += walked_grant ? 1 : 0;
      } catch (const std::exception& e) {
        EXPECT_FALSE(found.granted) << context();
        EXPECT_EQ(found.error, e.what()) << context();
        ++errors;
      }
    }
  }
  // The generated cases reach every outcome often.
  EXPECT_GT(grants, 1000U);
  EXPECT_GT(errors, 500U);
  EXPECT_GT(white_listed, 2000U);
}

TEST(AllowListTest, NamesTheDecidingEntryAndGrant) {
  const json config = json::parse(R"({
    "white-list": ["tp", "give", "TPX", "give"],
    "admins": [
      {"eosid": ["a"], "allowed-commands": ["fly"]},
      {"eosid": ["b", "a"], "allowed-commands": ["ghost", "*", "fly"]},
      {"eosid": ["c"]},
      {"eosid": ["d"], "allowed-commands": ["ghost", 5, "fly"]}
    ]})");
  const AllowList index(config);
  EXPECT_EQ(index.WhiteListEntry("tpx"), 0U);  // the first entry that is a prefix
  EXPECT_EQ(index.WhiteListEntry("giveitem"), 1U);
  EXPECT_EQ(index.WhiteListEntry("t"), kNowhere);
  EXPECT_EQ(index.WhiteListEntries(), 4U);
  EXPECT_EQ(index.AdminEntries(), 4U);
  EXPECT_EQ(index.EosIds(), 5U);

  struct Case {
    const char* id;
    const char* word;
    bool granted;
    std::size_t entry;
    std::size_t grant;
    bool named;
    bool error;
  };
  const Case cases[] = {
      {"a", "fly", true, 0, 0, true, false},
      {"a", "walk", true, 1, 1, true, false},
      {"b", "ghost", true, 1, 0, true, false},
      {"c", "fly", false, kNowhere, kNowhere, true, false},
      {"z", "fly", false, kNowhere, kNowhere, false, false},
      {"d", "ghost", true, 3, 0, true, false},
      {"d", "fly", false, kNowhere, kNowhere, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id).append(" ").append(c.word));
    const GrantFound found = index.FindGrant(c.id, c.word);
    EXPECT_EQ(found.granted, c.granted);
    EXPECT_EQ(found.entry, c.entry);
    EXPECT_EQ(found.grant, c.grant);
    EXPECT_EQ(found.named, c.named);
    EXPECT_EQ(!found.error.empty(), c.error);
  }
}

// Entries with "groups" beside or instead of "eosid", against the walk that asks for the groups
// every time: the same grant, the same group, the same failure; the groups asked for only when
// an entry with "groups" could decide before the entries that name the EOS id.
TEST(AllowListTest, GroupEntriesAnswerAsWalkingTheDocumentDoes) {
  ConfigGenerator generate(20261209);
  testing::RandomChoices choose(7);
  constexpr std::array kGroups = {"Moderators", "moderators", "Admins", "", "Default"};
  const auto some_groups = [&] {
    std::vector<std::string> groups;
    for (const char* group : kGroups) {
      if (choose.Below(3) == 0) groups.emplace_back(group);
    }
    return groups;
  };
  std::size_t through_groups = 0;
  std::size_t not_asked = 0;
  for (int round = 0; round < 3000; ++round) {
    json config = generate.Config();
    if (const auto admins = config.find("admins"); admins != config.end()) {
      for (json& entry : *admins) {
        if (!entry.is_object() || choose.Below(2) == 0) continue;
        json groups = json::array();
        for (const std::string& group : some_groups()) groups.push_back(group);
        if (choose.Below(10) == 0) groups.push_back(7);
        entry["groups"] = choose.Below(12) == 0 ? json("Moderators") : groups;
        if (choose.Below(3) == 0) entry.erase("eosid");
      }
    }
    const AllowList index(config);
    for (int question = 0; question < 10; ++question) {
      const std::string word = generate.Word();
      const std::string id = kIds[generate.Below(kIds.size())];
      const std::vector<std::string> groups = some_groups();
      const auto context = [&] {
        return config.dump() + " word=" + word + " id=" + id + " groups=" + json(groups).dump();
      };
      int asked = 0;
      const GroupsAsk ask = [&] {
        ++asked;
        return &groups;
      };
      const GrantFound found = index.FindGrant(id, word, &ask);
      EXPECT_LE(asked, 1) << context();
      EXPECT_EQ(found.groups_asked, asked == 1) << context();
      std::string group;
      try {
        EXPECT_EQ(found.granted, testing::IsGranted(config, id, word, groups, &group)) << context();
        EXPECT_EQ(found.error, "") << context();
        EXPECT_EQ(found.group, found.granted ? group : "") << context();
      } catch (const std::exception& e) {
        EXPECT_FALSE(found.granted) << context();
        EXPECT_EQ(found.error, e.what()) << context();
      }
      through_groups += found.granted && !found.group.empty() ? 1 : 0;
      if (asked == 0) {
        ++not_asked;
        // Not asked: the groups could not have changed the answer.
        const GrantFound alone = index.FindGrant(id, word);
        EXPECT_EQ(alone.granted, found.granted) << context();
        EXPECT_EQ(alone.entry, found.entry) << context();
        EXPECT_EQ(alone.error, found.error) << context();
      }
    }
  }
  EXPECT_GT(through_groups, 500U);
  EXPECT_GT(not_asked, 10000U);
}

TEST(AllowListTest, GroupEntriesTakeTheirTurnInTheWalkAndNameTheGroup) {
  const json config = json::parse(R"({
    "admins": [
      {"eosid": ["a"], "allowed-commands": ["fly"]},
      {"groups": ["Builders", "Moderators"], "allowed-commands": ["ghost", "fly"]},
      {"eosid": ["b"], "groups": ["Moderators"], "allowed-commands": ["*"]},
      {"groups": ["Broken"], "allowed-commands": [1, "walk"]},
      {"groups": ["", "moderators", 5], "allowed-commands": ["*"]}
    ]})");
  const AllowList index(config);
  EXPECT_EQ(index.GroupEntries(), 4U);
  struct Case {
    const char* id;
    std::vector<std::string> groups;
    const char* word;
    bool asked;
    bool granted;
    std::size_t entry;
    const char* group;
    bool error;
  };
  const Case cases[] = {
      {"a", {"Moderators"}, "fly", false, true, 0, "", false},  // the EOS id's entry comes first
      {"a", {"Moderators"}, "ghost", true, true, 1, "Moderators", false},
      {"z", {"Builders", "Moderators"}, "ghost", true, true, 1, "Builders", false},
      {"b", {"Moderators"}, "say", false, true, 2, "", false},  // named by EOS id: not asked
      {"z", {"Moderators"}, "say", true, true, 2, "Moderators", false},
      {"z", {"MODERATORS"}, "say", true, false, kNowhere, "", false},  // letter case counts
      {"z", {"moderators"}, "say", true, true, 4, "moderators", false},
      {"z", {"Broken", "Moderators"}, "say", true, true, 2, "Moderators", false},
      {"z", {"Broken"}, "walk", true, false, kNowhere, "Broken", true},
      {"z", {}, "fly", true, false, kNowhere, "", false},
      {"z", {""}, "fly", true, false, kNowhere, "", false},  // an empty name is no group
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + " " + c.word + " " + json(c.groups).dump());
    int asked = 0;
    const GroupsAsk ask = [&] {
      ++asked;
      return &c.groups;
    };
    const GrantFound found = index.FindGrant(c.id, c.word, &ask);
    EXPECT_EQ(asked, c.asked ? 1 : 0);
    EXPECT_EQ(found.granted, c.granted);
    EXPECT_EQ(found.entry, c.entry);
    EXPECT_EQ(found.group, c.group);
    EXPECT_EQ(!found.error.empty(), c.error);
    // Groups that cannot be had grant nothing through groups; the EOS id still does.
    const GroupsAsk absent = [] { return static_cast<const std::vector<std::string>*>(nullptr); };
    const GrantFound without = index.FindGrant(c.id, c.word, &absent);
    EXPECT_TRUE(without.group.empty());
    EXPECT_EQ(without.granted, index.FindGrant(c.id, c.word).granted);
  }
}

}  // namespace
}  // namespace quillmark
