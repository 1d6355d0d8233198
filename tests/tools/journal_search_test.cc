// journal search: WHEN, every filter, every form, and several servers' journals merged by time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/journal_fixture.h"
#include "tools/journal/search.h"
#include "tools/journal/when.h"

namespace quillmark::tools {
namespace {

using std::chrono::sys_days;
using namespace std::chrono_literals;

TEST(JournalWhenTest, ReadsDatesTimesAndAges) {
  const auto now = sys_days(std::chrono::year_month_day{
                       std::chrono::year(2026), std::chrono::December, std::chrono::day(9)}) +
                   13h + 45min + 12s + 345ms;
  struct Case {
    const char* when;
    const char* begin;  // nullptr: refused
    const char* end;
  };
  const Case cases[] = {
      {"2026-12-09", "2026-12-09T00:00:00.000Z", "2026-12-10T00:00:00.000Z"},
      {"2026-12-31", "2026-12-31T00:00:00.000Z", "2027-01-01T00:00:00.000Z"},
      {"2026-12-09T13:45", "2026-12-09T13:45:00.000Z", "2026-12-09T13:46:00.000Z"},
      {"2026-12-09T23:59Z", "2026-12-09T23:59:00.000Z", "2026-12-10T00:00:00.000Z"},
      {"2026-12-09T13:45:30", "2026-12-09T13:45:30.000Z", "2026-12-09T13:45:31.000Z"},
      {"90m", "2026-12-09T12:15:12.345Z", "2026-12-09T12:15:12.345Z"},
      {"12h", "2026-12-09T01:45:12.345Z", "2026-12-09T01:45:12.345Z"},
      {"7d", "2026-12-02T13:45:12.345Z", "2026-12-02T13:45:12.345Z"},
      {"2026-02-30", nullptr, nullptr},
      {"2026-12-09T24:00", nullptr, nullptr},
      {"2026-12-09T13", nullptr, nullptr},
      {"2026/12/09", nullptr, nullptr},
      {"7w", nullptr, nullptr},
      {"d", nullptr, nullptr},
      {"99999999d", nullptr, nullptr},
      {"", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const auto span = ParseWhen(c.when, now);
    if (c.begin == nullptr) {
      EXPECT_FALSE(span) << c.when;
      continue;
    }
    ASSERT_TRUE(span) << c.when;
    EXPECT_EQ(span->begin, c.begin) << c.when;
    EXPECT_EQ(span->end, c.end) << c.when;
  }
}

class JournalSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two servers, two days, written apart so that only the merge puts them in order of time.
    journal_.Event("Demo", "2026-12-08T10:00:00.000Z", "start");                             // D1
    journal_.Console("Demo", "2026-12-08T10:01:00.000Z", "Mia", "E1", "give 1", "allowed");  // D2
    journal_.Console("Demo", "2026-12-09T09:00:00.000Z", "Rex Tamer", "E2", "fly|DestroyWildDinos",
                     "blocked");                                                               // D3
    journal_.Rcon("Demo", "2026-12-09T09:30:00.000Z", "#1 (127.0.0.1:50412)", "ListPlayers");  // D4
    journal_.Console("Island", "2026-12-08T12:00:00.000Z", "mia", "E3", "GiveItemNum 1",
                     "allowed");  // I1
    journal_.Console("Island", "2026-12-09T09:15:00.000Z", "Önne", "E1", "ghost", "blocked",
                     true);  // I2
  }

  // "server#seq" of what matches, in the order given.
  std::vector<std::string> Find(const RecordQuery& query) {
    std::vector<ServerJournal> journals;
    std::string error;
    EXPECT_TRUE(FindJournals({journal_.Root()}, journals, error)) << error;
    std::string out;
    SearchJournals(
        journals, query, SearchFormat::kJsonl, [&](std::string_view text) { out.append(text); },
        [](const std::string& message) { ADD_FAILURE() << message; });
    std::vector<std::string> found;
    std::size_t at = 0;
    for (std::size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
      const auto record = nlohmann::json::parse(out.substr(at, end - at));
      found.push_back(record["server"].get<std::string>() + "#" +
                      std::to_string(record["seq"].get<int>()));
    }
    return found;
  }

  std::string Form(SearchFormat format, const RecordQuery& query = {}) {
    std::vector<ServerJournal> journals;
    std::string error;
    EXPECT_TRUE(FindJournals({journal_.Root()}, journals, error));
    std::string out;
    SearchJournals(
        journals, query, format, [&](std::string_view text) { out.append(text); },
        [](const std::string&) {});
    return out;
  }

  testing::JournalFixture journal_;
};

TEST_F(JournalSearchTest, EveryFilterMatchesWhatItSays) {
  using V = std::vector<std::string>;
  const auto with = [](auto set) {
    RecordQuery query;
    set(query);
    return query;
  };
  struct Case {
    const char* name;
    RecordQuery query;
    V found;
  };
  const Case cases[] = {
      {"everything, merged by time",
       {},
       V{"Demo#1", "Demo#2", "Island#1", "Demo#3", "Island#2", "Demo#4"}},
      {"since a time", with([](RecordQuery& q) { q.since = "2026-12-09T09:15:00.000Z"; }),
       V{"Island#2", "Demo#4"}},
      {"until a time", with([](RecordQuery& q) { q.until = "2026-12-08T12:00:00.000Z"; }),
       V{"Demo#1", "Demo#2"}},
      {"player, part and A-Z case aside", with([](RecordQuery& q) { q.player = "MI"; }),
       V{"Demo#2", "Island#1"}},
      {"player beyond A-Z keeps its case", with([](RecordQuery& q) { q.player = "önne"; }), V{}},
      {"player beyond A-Z", with([](RecordQuery& q) { q.player = "Önn"; }), V{"Island#2"}},
      {"player with a blank", with([](RecordQuery& q) { q.player = "x t"; }), V{"Demo#3"}},
      {"EOS id exactly", with([](RecordQuery& q) { q.eos = "E1"; }), V{"Demo#2", "Island#2"}},
      {"EOS id not a part", with([](RecordQuery& q) { q.eos = "E"; }), V{}},
      {"command as a white-list entry", with([](RecordQuery& q) { q.command = "GIVE"; }),
       V{"Demo#2", "Island#1"}},
      {"command in any part of a line", with([](RecordQuery& q) { q.command = "destroy"; }),
       V{"Demo#3"}},
      {"command of RCON", with([](RecordQuery& q) { q.command = "listplayers"; }), V{"Demo#4"}},
      {"command word, not a later word", with([](RecordQuery& q) { q.command = "1"; }), V{}},
      {"decision", with([](RecordQuery& q) { q.decision = "blocked"; }), V{"Demo#3", "Island#2"}},
      {"decision audited", with([](RecordQuery& q) { q.decision = "audited"; }), V{"Demo#4"}},
      {"source", with([](RecordQuery& q) { q.source = "rcon"; }), V{"Demo#4"}},
      {"server by label", with([](RecordQuery& q) { q.server = "Island"; }),
       V{"Island#1", "Island#2"}},
      {"server, exactly", with([](RecordQuery& q) { q.server = "island"; }), V{}},
      {"every condition at once", with([](RecordQuery& q) {
         q.player = "mia";
         q.decision = "allowed";
         q.server = "Demo";
       }),
       V{"Demo#2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Find(c.query), c.found) << c.name;
}

TEST_F(JournalSearchTest, FormsShowTheRecords) {
  // jsonl: the lines exactly as stored.
  const std::vector<std::string> stored =
      testing::JournalFixture::ReadLines(journal_.Day("Island", "2026-12-08"));
  RecordQuery island;
  island.server = "Island";
  island.until = "2026-12-09T00:00:00.000Z";
  EXPECT_EQ(Form(SearchFormat::kJsonl, island), stored.at(0) + "\n");

  const std::string text = Form(SearchFormat::kText);
  EXPECT_NE(text.find("2026-12-08T10:00:00.000Z Demo #1 start\n"), std::string::npos) << text;
  EXPECT_NE(text.find("2026-12-09T09:15:00.000Z Island #2 console blocked Önne (E1), admin: true: "
                      "ghost\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("2026-12-09T09:30:00.000Z Demo #4 rcon audited client #1 "
                      "(127.0.0.1:50412): ListPlayers\n"),
            std::string::npos)
      << text;

  const std::string csv = Form(SearchFormat::kCsv, island);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "seq,time,server,source,event,player,eosid,admin,client,command,decision,rule,"
            "refused_part,refused_of,refused_command,count,from,to,note");
  EXPECT_NE(csv.find("\r\n1,2026-12-08T12:00:00.000Z,Island,console,,mia,E3,false,,GiveItemNum "
                     "1,allowed,/white-list/0,,,,,,,\r\n"),
            std::string::npos)
      << csv;
}

// What could break a line or fake one is escaped in text and quoted in CSV.
TEST(JournalFormTest, HostileTextIsEscapedAndQuoted) {
  testing::JournalFixture journal;
  journal.Add("Demo", "2026-12-09T00:00:00.000Z",
              {{"source", "console"},
               {"player", "a\nb"},
               {"eosid", "E"},
               {"admin", false},
               {"command", "say \"hi\", all\u202E"},
               {"decision", "blocked"},
               {"rule", nullptr},
               {"refused", {{"part", 2}, {"of", 2}, {"command", "x\ty"}}}});
  std::vector<ServerJournal> journals;
  std::string error;
  ASSERT_TRUE(FindJournals({journal.Root()}, journals, error));
  std::string text;
  std::string csv;
  SearchJournals(
      journals, {}, SearchFormat::kText, [&](std::string_view t) { text.append(t); },
      [](const std::string&) {});
  SearchJournals(
      journals, {}, SearchFormat::kCsv, [&](std::string_view t) { csv.append(t); },
      [](const std::string&) {});
  EXPECT_EQ(text,
            "2026-12-09T00:00:00.000Z Demo #1 console blocked a\\x0Ab (E), admin: false: say "
            "\"hi\", all\\u{202E}, refused part 2 of 2: x\\x09y\n");
  EXPECT_NE(csv.find("\r\n1,2026-12-09T00:00:00.000Z,Demo,console,,\"a\nb\",E,false,,\"say "
                     "\"\"hi\"\", all\u202E\",blocked,,2,2,x\ty,,,,\r\n"),
            std::string::npos)
      << csv;
}

// Lines that are no record are passed over and named; the records around them still match.
TEST(JournalFormTest, LinesThatAreNoRecordArePassedOver) {
  testing::JournalFixture journal;
  journal.Console("Demo", "2026-12-09T00:00:00.000Z", "Mia", "E", "give", "blocked");
  const auto file = journal.Day("Demo", "2026-12-09");
  std::ofstream(file, std::ios::binary | std::ios::app)
      << "not json\n[1,2]\n\"blocked\"\n{\"decision\":\"bl\\u006fcked\",\"time\":\"x\"}\n"
      << std::string("\xff\xfe{\"decision\":\"blocked\"}\n") << "{\"decision\":\"blocked\"";
  std::vector<ServerJournal> journals;
  std::string error;
  ASSERT_TRUE(FindJournals({journal.Root()}, journals, error));
  std::vector<std::string> warnings;
  RecordQuery blocked;
  blocked.decision = "blocked";
  std::string out;
  EXPECT_EQ(SearchJournals(
                journals, blocked, SearchFormat::kJsonl, [&](std::string_view t) { out.append(t); },
                [&](const std::string& message) { warnings.push_back(message); }),
            2u);  // the record, and the one whose value is written with an escape
  EXPECT_NE(out.find("bl\\u006fcked"), std::string::npos);
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[0].find(":4: not a record"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find(":6: not a record"), std::string::npos) << warnings[1];
  EXPECT_NE(warnings[2].find(":7: a torn last line"), std::string::npos) << warnings[2];
}

// A line past the reader's bound is passed over without being held whole; the next still counts.
TEST(JournalFormTest, AHugeLineIsPassedOverInBoundedMemory) {
  testing::JournalFixture journal;
  const auto file = journal.Day("Demo", "2026-12-09");
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      << "{\"command\":\"" << std::string(LineReader::kMaxLineBytes + 100, 'x') << "\"}\n";
  journal.Console("Demo", "2026-12-09T00:00:00.000Z", "Mia", "E", "give", "blocked");
  std::vector<ServerJournal> journals;
  std::string error;
  ASSERT_TRUE(FindJournals({journal.Root()}, journals, error));
  std::vector<std::string> warnings;
  std::string out;
  EXPECT_EQ(SearchJournals(
                journals, {}, SearchFormat::kJsonl, [&](std::string_view t) { out.append(t); },
                [&](const std::string& message) { warnings.push_back(message); }),
            1u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(":1: not a record"), std::string::npos) << warnings[0];
  EXPECT_NE(out.find("\"seq\":1,"), std::string::npos);
}

}  // namespace
}  // namespace quillmark::tools
