// journal verify: an intact chain across days and restarts, and each way of breaking it named
// where it shows; a torn line passed over by the next start noted, not a break.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/journal_fixture.h"
#include "tools/journal/report.h"
#include "tools/journal/verify.h"

namespace quillmark::tools {
namespace {

using testing::JournalFixture;

// Demo: seq 1-3 on the 8th, 4-6 on the 9th (a restart at 4), 7-8 on the 11th; Island: 1-2.
void WriteTwoServers(JournalFixture& journal) {
  journal.Event("Demo", "2026-12-08T10:00:00.000Z", "start");
  journal.Console("Demo", "2026-12-08T10:01:00.000Z", "Mia", "E1", "give 1", "allowed");
  journal.Event("Demo", "2026-12-08T10:02:00.000Z", "stop");
  journal.Event("Demo", "2026-12-09T08:00:00.000Z", "start");
  journal.Console("Demo", "2026-12-09T08:01:00.000Z", "Mia", "E1", "fly", "blocked");
  journal.Rcon("Demo", "2026-12-09T08:02:00.000Z", "#1 (127.0.0.1:1)", "ListPlayers");
  journal.Console("Demo", "2026-12-11T08:00:00.000Z", "Rex", "E2", "give 2", "allowed");
  journal.Console("Demo", "2026-12-11T08:01:00.000Z", "Rex", "E2", "ghost", "blocked");
  journal.Event("Island", "2026-12-08T09:00:00.000Z", "start");
  journal.Console("Island", "2026-12-10T09:00:00.000Z", "Ann", "E3", "give", "allowed");
}

VerifyResult Verify(const JournalFixture& journal) {
  std::vector<ServerJournal> journals;
  std::string error;
  EXPECT_TRUE(FindJournals({journal.Root()}, journals, error)) << error;
  return VerifyJournals(journals);
}

TEST(JournalVerifyTest, IntactChainAcrossDaysAndRestarts) {
  JournalFixture journal;
  WriteTwoServers(journal);
  const VerifyResult result = Verify(journal);
  EXPECT_EQ(FormatVerifyResult(result),
            "intact: 10 records of 2 servers, 2026-12-08T09:00:00.000Z to "
            "2026-12-11T08:01:00.000Z\n");
}

TEST(JournalVerifyTest, NamesEachKindOfBreakWhereItShows) {
  using Lines = std::vector<std::string>;
  struct Case {
    const char* name;
    std::function<void(JournalFixture&)> tamper;
    BreakKind kind;
    const char* file;  // the day of the file named
    std::size_t line;
  };
  const auto day = [](JournalFixture& j, const char* name) { return j.Day("Demo", name); };
  const auto change = [day](const char* name, std::function<void(Lines&)> edit) {
    return [day, name, edit](JournalFixture& j) {
      Lines lines = JournalFixture::ReadLines(day(j, name));
      edit(lines);
      JournalFixture::WriteLines(day(j, name), lines);
    };
  };
  const Case cases[] = {
      {"a command edited",
       change("2026-12-09", [](Lines& l) { l[1].replace(l[1].find("fly"), 3, "flu"); }),
       BreakKind::kEdited, "2026-12-09", 2},
      {"the last record of a day edited",
       change("2026-12-08", [](Lines& l) { l[2].replace(l[2].find("stop"), 4, "stap"); }),
       BreakKind::kEdited, "2026-12-08", 3},
      {"a seq edited",
       change("2026-12-09", [](Lines& l) { l[1].replace(l[1].find("\"seq\":5"), 7, "\"seq\":9"); }),
       BreakKind::kEdited, "2026-12-09", 2},
      {"a record removed", change("2026-12-09", [](Lines& l) { l.erase(l.begin() + 1); }),
       BreakKind::kRemoved, "2026-12-09", 2},
      {"the first record of a day removed",
       change("2026-12-09", [](Lines& l) { l.erase(l.begin()); }), BreakKind::kRemoved,
       "2026-12-09", 1},
      {"a record copied from later on put in",
       [day](JournalFixture& j) {
         Lines eleven = JournalFixture::ReadLines(day(j, "2026-12-11"));
         Lines nine = JournalFixture::ReadLines(day(j, "2026-12-09"));
         nine.insert(nine.begin() + 1, eleven[0]);
         JournalFixture::WriteLines(day(j, "2026-12-09"), nine);
       },
       BreakKind::kInserted, "2026-12-09", 2},
      {"a record inserted, copied from elsewhere",
       change("2026-12-09", [](Lines& l) { l.insert(l.begin() + 1, l[0]); }), BreakKind::kInserted,
       "2026-12-09", 2},
      {"two records swapped", change("2026-12-09", [](Lines& l) { std::swap(l[1], l[2]); }),
       BreakKind::kMoved, "2026-12-09", 2},
      {"a record moved to another day",
       [day](JournalFixture& j) {
         Lines nine = JournalFixture::ReadLines(day(j, "2026-12-09"));
         Lines eleven = JournalFixture::ReadLines(day(j, "2026-12-11"));
         eleven.push_back(nine[1]);
         nine.erase(nine.begin() + 1);
         JournalFixture::WriteLines(day(j, "2026-12-09"), nine);
         JournalFixture::WriteLines(day(j, "2026-12-11"), eleven);
       },
       BreakKind::kMoved, "2026-12-09", 2},
      {"a day's file deleted",
       [day](JournalFixture& j) { std::filesystem::remove(day(j, "2026-12-09")); },
       BreakKind::kFileMissing, "2026-12-11", 1},
      {"the first day's file deleted",
       [day](JournalFixture& j) { std::filesystem::remove(day(j, "2026-12-08")); },
       BreakKind::kFileMissing, "2026-12-09", 1},
      {"a line that is no record put in",
       change("2026-12-09", [](Lines& l) { l.insert(l.begin() + 1, "{\"note\":\"x\"}"); }),
       BreakKind::kNotARecord, "2026-12-09", 2},
      {"a record made into garbage", change("2026-12-09", [](Lines& l) { l[1] = "garbage"; }),
       BreakKind::kNotARecord, "2026-12-09", 2},
  };
  for (const Case& c : cases) {
    JournalFixture journal;
    WriteTwoServers(journal);
    c.tamper(journal);
    const VerifyResult result = Verify(journal);
    ASSERT_EQ(result.breaks.size(), 1u) << c.name << "\n" << FormatVerifyResult(result);
    const ChainBreak& found = result.breaks[0];
    EXPECT_EQ(found.server, "Demo") << c.name;
    EXPECT_EQ(BreakKindName(found.kind), std::string(BreakKindName(c.kind)))
        << c.name << ": " << found.detail;
    EXPECT_EQ(found.file, Utf8Path(day(journal, c.file))) << c.name;
    EXPECT_EQ(found.line, c.line) << c.name << ": " << found.detail;
    EXPECT_NE(FormatVerifyResult(result).find(std::string("Demo: ") + found.file + ":" +
                                              std::to_string(c.line) + ": " +
                                              BreakKindName(c.kind) + ": "),
              std::string::npos)
        << FormatVerifyResult(result);
  }
}

// Power lost mid-write leaves a torn line; the next start passes over it and chains on from the
// last whole record, which verify notes and accepts. A torn line at the very end is noted too.
TEST(JournalVerifyTest, TornLinesAreNotedNeverPassedSilently) {
  JournalFixture journal;
  journal.Event("Demo", "2026-12-09T08:00:00.000Z", "start");
  const std::string whole =
      journal.Console("Demo", "2026-12-09T08:01:00.000Z", "Mia", "E1", "fly", "blocked");
  const auto file = journal.Day("Demo", "2026-12-09");
  std::ofstream(file, std::ios::binary | std::ios::app)
      << "{\"seq\":3,\"time\":\"2026-12-09T08:0\n";
  journal.Event("Demo", "2026-12-09T09:00:00.000Z", "start");  // seq 3, chained on from seq 2
  std::ofstream(file, std::ios::binary | std::ios::app) << "{\"seq\":4,\"ti";
  const VerifyResult result = Verify(journal);
  EXPECT_TRUE(result.breaks.empty()) << FormatVerifyResult(result);
  ASSERT_EQ(result.notes.size(), 2u);
  EXPECT_NE(result.notes[0].find(":3: a torn line"), std::string::npos) << result.notes[0];
  EXPECT_NE(result.notes[1].find(":5: the last line is torn"), std::string::npos)
      << result.notes[1];
  EXPECT_NE(FormatVerifyResult(result).find("intact: 3 records of 1 servers"), std::string::npos);

  // Not passed over by a start: a break.
  JournalFixture other;
  other.Event("Demo", "2026-12-09T08:00:00.000Z", "start");
  std::ofstream(other.Day("Demo", "2026-12-09"), std::ios::binary | std::ios::app)
      << "{\"seq\":2,\"ti\n";
  other.Console("Demo", "2026-12-09T08:01:00.000Z", "Mia", "E1", "fly", "blocked");
  const VerifyResult broken = Verify(other);
  ASSERT_EQ(broken.breaks.size(), 1u);
  EXPECT_EQ(broken.breaks[0].kind, BreakKind::kNotARecord);
  EXPECT_EQ(broken.breaks[0].line, 2u);
}

TEST(JournalReportTest, CountsPerPlayerCommandAndDay) {
  JournalFixture journal;
  WriteTwoServers(journal);
  // A blocked line counts under the word of its refused part.
  journal.Add("Island", "2026-12-10T09:01:00.000Z",
              {{"source", "console"},
               {"player", "Ann"},
               {"eosid", "E3"},
               {"admin", false},
               {"command", "give|DestroyWildDinos"},
               {"decision", "blocked"},
               {"rule", nullptr},
               {"refused", {{"part", 2}, {"of", 2}, {"command", "DestroyWildDinos"}}}});
  journal.Add("Island", "2026-12-10T09:02:00.000Z",
              {{"event", "omitted"},
               {"count", 1234},
               {"from", "2026-12-10T09:01:30.000Z"},
               {"to", "2026-12-10T09:01:59.000Z"}});
  std::vector<ServerJournal> journals;
  std::string error;
  ASSERT_TRUE(FindJournals({journal.Root()}, journals, error));
  RecordQuery query;
  query.since = "2026-12-09T00:00:00.000Z";
  const JournalReport report = BuildReport(journals, query, [](const std::string&) {});
  EXPECT_EQ(report.total.allowed, 2u);  // Rex's give 2, Ann's give
  EXPECT_EQ(report.total.blocked, 3u);
  EXPECT_EQ(report.total.rcon, 1u);
  EXPECT_EQ(report.not_written, 1234u);
  EXPECT_EQ(report.days.at("2026-12-09").Total(), 2u);
  EXPECT_EQ(report.days.at("2026-12-10").blocked, 1u);
  EXPECT_EQ(report.days.count("2026-12-08"), 0u);
  EXPECT_EQ(report.players.at({"Mia", "E1"}).blocked, 1u);
  EXPECT_EQ(report.players.at({"RCON", ""}).rcon, 1u);
  EXPECT_EQ(report.commands.at("give").allowed, 2u);
  EXPECT_EQ(report.commands.at("listplayers").rcon, 1u);
  EXPECT_EQ(report.commands.at("fly").blocked, 1u);
  EXPECT_EQ(report.commands.at("destroywilddinos").blocked, 1u);
  const std::string text = FormatReportText(report);
  EXPECT_NE(text.find("Commands per player\nplayer  eosid  allowed  blocked  rcon  total\n"),
            std::string::npos)
      << text;
  std::size_t totals = 0;
  for (std::size_t at = 0; (at = text.find("2        3     1      6\n", at)) != std::string::npos;
       ++at) {
    ++totals;
  }
  EXPECT_EQ(totals, 3u) << text;  // the total row of each table
  EXPECT_NE(text.find("1234 more commands"), std::string::npos);
}

}  // namespace
}  // namespace quillmark::tools
