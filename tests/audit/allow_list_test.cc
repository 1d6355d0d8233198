// The allow-list's index against the plain walk of the document, on generated configurations of
// every shape the file may take: wrongly typed values, repeated ids, "*", non-text elements.
#include "audit/allow_list.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>

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

}  // namespace
}  // namespace quillmark
