// The allow-list's index against the plain walk of the document, on generated configurations of
// every shape the file may take: wrongly typed values, repeated ids, "*", non-text elements.
#include "audit/allow_list.h"

#include <gtest/gtest.h>

#include <array>
#include <exception>
#include <random>
#include <string>

#include "audit/audit_text.h"
#include "support/allow_list_walk.h"

namespace quillmark {
namespace {

using nlohmann::json;

// A small vocabulary, so that generated words, entries and ids often meet.
constexpr std::array kWords = {
    "fly", "FLY",   "give",  "giveitem",         "gi",        "*", " *", "**", "*fly",
    "",    "Ghost", "cheat", "quillmark.reload", "ébullition"};
constexpr std::array kIds = {"0002aaaa", "0002AAAA", "0002bbbb", "", "0002cccc"};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }
  bool OneIn(std::size_t n) { return Below(n) == 0; }

  json NotText() {
    switch (Below(5)) {
      case 0:
        return 7;
      case 1:
        return nullptr;
      case 2:
        return true;
      case 3:
        return json::array({"fly"});
      default:
        return json::object({{"k", "give"}});
    }
  }

  // A list, mostly an array of texts; sometimes an object, one text, null or a number.
  template <std::size_t N>
  json List(const std::array<const char*, N>& pool) {
    json items = json::array();
    const std::size_t count = Below(5);
    for (std::size_t i = 0; i < count; ++i) {
      items.push_back(OneIn(8) ? NotText() : json(pool[Below(N)]));
    }
    switch (Below(12)) {
      case 0:
        return pool[Below(N)];
      case 1:
        return nullptr;
      case 2:
        return 3;
      case 3: {
        json object = json::object();
        for (std::size_t i = 0; i < items.size(); ++i)
          object[std::string(1, char('a' + i))] = items[i];
        return object;
      }
      default:
        return items;
    }
  }

  json Entry() {
    if (OneIn(15)) return NotText();
    json entry = json::object();
    if (!OneIn(8)) entry["eosid"] = List(kIds);
    if (!OneIn(8)) entry["allowed-commands"] = List(kWords);
    return entry;
  }

  json Config() {
    json config = json::object();
    if (!OneIn(6)) config["white-list"] = List(kWords);
    if (!OneIn(10)) {
      json admins = json::array();
      const std::size_t count = Below(6);
      for (std::size_t i = 0; i < count; ++i) admins.push_back(Entry());
      if (OneIn(10)) {
        json object = json::object();
        for (std::size_t i = 0; i < admins.size(); ++i) object[std::to_string(9 - i)] = admins[i];
        admins = object;
      } else if (OneIn(20)) {
        admins = OneIn(2) ? json(nullptr) : json("admins");
      }
      config["admins"] = admins;
    }
    return config;
  }

  std::string Word() {
    std::string word = kWords[Below(kWords.size())];
    if (OneIn(3)) word += kWords[Below(kWords.size())];
    return Lower(word);
  }

 private:
  std::mt19937 random_;
};

TEST(AllowListTest, AnswersExactlyAsWalkingTheDocumentDoes) {
  Generator generate(20261208);
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
