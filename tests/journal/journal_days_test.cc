// The journal across UTC days, on the simulated host's clock (which a test sets; on Windows the
// plugin reads the system's clock, so these run where the host provides it): one file per day,
// the chain running on from one to the next, the day's omitted records said when the day ends,
// and a failing folder's error line again after a minute.
#include <chrono>

#include "journal/journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using quillmark::testing::ChainBreak;
using quillmark::testing::DayFiles;
using quillmark::testing::JournalLines;
using quillmark::testing::JournalTest;
using quillmark::testing::Records;

std::int64_t At(int day, int hour, int minute, int second) {
  using namespace std::chrono;
  const sys_days date = year{2026} / December / day;
  return duration_cast<milliseconds>(date.time_since_epoch() + hours(hour) + minutes(minute) +
                                     seconds(second))
      .count();
}

TEST_F(JournalTest, OpensAFileEachDayAndChainsOnAcrossThem) {
  sim::SetWallClock(At(9, 23, 59, 0));
  Start(R"({"day-limit-mib": 1})");
  const std::string padding(8000, 'x');
  for (int i = 0; i < 200; ++i) Run("give " + padding);  // past the limit on the 9th
  sim::SetWallClock(At(10, 0, 0, 1));
  Run("give 1");
  Plugin_Unload();
  sim::SetWallClock(At(11, 8, 0, 0));
  Start();
  Run("give 2");
  Plugin_Unload();

  const auto files = DayFiles(Labelled());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].filename(), "2026-12-09.jsonl");
  EXPECT_EQ(files[2].filename(), "2026-12-11.jsonl");
  const auto lines = JournalLines(Labelled());
  EXPECT_EQ(ChainBreak(lines), "");
  const auto next_day = Records(JournalLines(Labelled()));
  const auto omitted = std::find_if(next_day.begin(), next_day.end(), [](const auto& record) {
    return record.value("event", "") == "omitted";
  });
  ASSERT_NE(omitted, next_day.end());
  EXPECT_TRUE((*omitted)["time"].get<std::string>().starts_with("2026-12-10T00:00:01"));
  EXPECT_TRUE((*omitted)["to"].get<std::string>().starts_with("2026-12-09T23:59"));
  EXPECT_EQ(next_day.back()["event"], "stop");
}

TEST_F(JournalTest, SaysAFailingFolderAgainAtMostOnceAMinute) {
  const fs::path blocker = folder_.Root() / "share";
  std::ofstream(blocker) << "not a folder";
  sim::SetWallClock(At(9, 12, 0, 0));
  Start(R"({"folder": ")" + (blocker / "journal").generic_string() + R"("})");
  const std::size_t first = Errors().size();
  for (int second = 1; second < 60; second += 10) {
    sim::SetWallClock(At(9, 12, 0, second));
    Run("give 1");
  }
  EXPECT_EQ(Errors().size(), first);
  sim::SetWallClock(At(9, 12, 1, 5));
  Run("give 1");
  EXPECT_EQ(Errors().size(), first + 1);
  EXPECT_NE(Errors().back().find("8 records not written since 2026-12-09T12:00:00."),
            std::string::npos)
      << Errors().back();
}

}  // namespace
