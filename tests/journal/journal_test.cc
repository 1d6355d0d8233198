// The journal as the plugin writes it: one record per command with the account's fields, the
// chain across restarts and a torn last line, retention, the day's limit under a flood, a
// folder that cannot be written and its recovery, and a second server on one label.
#include "journal/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/journal_file.h"
#include "journal/journal_fixture.h"
#include "journal/journal_record.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using quillmark::testing::ChainBreak;
using quillmark::testing::Host;
using quillmark::testing::JournalLines;
using quillmark::testing::JournalTest;
using quillmark::testing::kAdmin;
using quillmark::testing::kLabel;
using quillmark::testing::Records;

TEST_F(JournalTest, KeepsOneRecordPerCommandWithItsAccount) {
  Start();
  struct Case {
    bool admin;
    const char* command;
    json expected;        // the fields compared
    bool plugin = false;  // run by a plugin for the player
  };
  const Case cases[] = {
      {false, "GiveItemNum 1 1 0 0", {{"decision", "allowed"}, {"rule", "/white-list/0"}}},
      {true, "fly", {{"decision", "allowed"}, {"rule", "/admins/1/allowed-commands/0"}}},
      {false, "fly", {{"decision", "blocked"}, {"rule", nullptr}, {"admin", false}}},
      {false,
       "give 1|DestroyWildDinos",
       {{"decision", "blocked"},
        {"refused", {{"part", 2}, {"of", 2}, {"command", "DestroyWildDinos"}}}}},
      {true, "EnableCheats hunter2", {{"command", "EnableCheats ***"}, {"rule", nullptr}}},
      {true, "ghost \"a\tb\"", {{"command", "ghost \"a\tb\""}, {"admin", true}}},
      {false,
       "SpawnDino x",
       {{"source", "plugin"}, {"rule", "/plugin-commands/allowed-commands/0"}},
       true},
      {true, "ghost", {{"source", "plugin"}, {"rule", "/admins/1/allowed-commands/1"}}, true},
      {false, "summon x", {{"source", "plugin"}, {"decision", "blocked"}, {"admin", false}}, true},
      {true,
       "walk",
       {{"decision", "allowed"}, {"rule", "/admins/2/allowed-commands/0"}, {"group", "Builders"}}},
  };
  sim::SetPlayerGroup(kAdmin, "Builders", true);
  ASSERT_TRUE(sim::SetPermissionsLoaded(true));
  for (const Case& c : cases) {
    sim::SetAdmin(player_, c.admin);
    if (c.plugin) {
      (void)sim::RunPluginCommand(player_, Host(c.command));
      (void)sim::TakeReceivedCommands();
    } else {
      Run(c.command);
    }
  }
  sim::ResetPermissions();
  (void)sim::RunRconCommand(Host("ListPlayers"));
  Plugin_Unload();

  const auto lines = JournalLines(Labelled());
  EXPECT_EQ(ChainBreak(lines), "");
  const auto records = Records(lines);
  ASSERT_EQ(records.size(), std::size(cases) + 3);  // start, the commands, RCON, stop
  EXPECT_EQ(records.front()["event"], "start");
  EXPECT_EQ(records.back()["event"], "stop");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const json& record = records[i + 1];
    SCOPED_TRACE(cases[i].command);
    EXPECT_EQ(record["server"], kLabel);
    if (!cases[i].expected.contains("source")) {
      EXPECT_EQ(record["source"], "console");
    }
    EXPECT_EQ(record["player"], "Mia");
    EXPECT_EQ(record["eosid"], kAdmin);
    EXPECT_EQ(record["position"], json::parse("[1.5,-20.25,300.0]"));
    for (const auto& [key, value] : cases[i].expected.items()) {
      EXPECT_EQ(record[key], value) << key;
    }
    if (!cases[i].expected.contains("command")) {
      EXPECT_EQ(record["command"], cases[i].command);
    }
    EXPECT_EQ(record.contains("refused"), cases[i].expected.contains("refused"));
    EXPECT_EQ(record.contains("group"), cases[i].expected.contains("group"));
  }
  const json& rcon = records[std::size(cases) + 1];
  EXPECT_EQ(rcon["source"], "rcon");
  EXPECT_EQ(rcon["decision"], "audited");
  EXPECT_EQ(rcon["command"], "ListPlayers");
  EXPECT_TRUE(rcon["client"].is_string());
  // Keys in their order, "prev" last, compact.
  EXPECT_TRUE(lines[1].starts_with("{\"seq\":2,\"time\":\"")) << lines[1];
  EXPECT_NE(lines[1].find(",\"server\":\"TheIsland_WP\",\"source\":\"console\",\"player\":\"Mia\""),
            std::string::npos)
      << lines[1];
  EXPECT_NE(lines[1].find("\"rule\":\"/white-list/0\",\"prev\":\""), std::string::npos);
  EXPECT_NE(lines[std::size(cases)].find(
                "\"rule\":\"/admins/2/allowed-commands/0\",\"group\":\"Builders\",\"prev\":\""),
            std::string::npos)
      << lines[std::size(cases)];
  EXPECT_TRUE(Errors().empty());
}

TEST_F(JournalTest, ChainsOnAcrossRestartsAndPassesOverATornLastLine) {
  Start();
  Run("give 1");
  Plugin_Unload();
  Start();
  Run("give 2");
  Plugin_Unload();
  const auto files = quillmark::testing::DayFiles(Labelled());
  ASSERT_FALSE(files.empty());
  // Power lost in the middle of a record.
  std::ofstream(files.back(), std::ios::binary | std::ios::app) << R"({"seq":7,"time":"20)";
  Start();
  Run("give 3");
  Plugin_Unload();

  const auto lines = JournalLines(Labelled());
  EXPECT_EQ(ChainBreak(lines), "");
  const auto records = Records(lines);
  ASSERT_EQ(records.size(), 9u);
  EXPECT_EQ(records.back()["seq"], 9);
  EXPECT_EQ(records[6]["event"], "start");
  EXPECT_NE(records[6].value("note", "").find("torn"), std::string::npos) << records[6];
  // The torn bytes stay a line of their own, not the start of the next record.
  EXPECT_NE(std::find(lines.begin(), lines.end(), R"({"seq":7,"time":"20)"), lines.end());
}

TEST_F(JournalTest, RemovesItsOwnDayFilesOlderThanKeepDays) {
  const std::int64_t today = host::UtcMilliseconds() / 86400000;
  fs::create_directories(Labelled());
  const auto day_file = [&](std::int64_t days_ago) {
    return Labelled() / (quillmark::UtcDay((today - days_ago) * 86400000) + ".jsonl");
  };
  for (const int days_ago : {1, 2, 3, 400}) std::ofstream(day_file(days_ago)) << "";
  for (const char* other : {"notes.txt", "2020-13-01.jsonl", "2020-01-01.jsonl.gz"}) {
    std::ofstream(Labelled() / other) << "kept";
  }
  Start(R"({"keep-days": 2})");
  EXPECT_TRUE(fs::exists(day_file(1)));
  EXPECT_TRUE(fs::exists(day_file(2)));
  EXPECT_FALSE(fs::exists(day_file(3)));
  EXPECT_FALSE(fs::exists(day_file(400)));
  for (const char* other : {"notes.txt", "2020-13-01.jsonl", "2020-01-01.jsonl.gz"}) {
    EXPECT_TRUE(fs::exists(Labelled() / other)) << other;
  }
  Plugin_Unload();
  Start(R"({"keep-days": 0})");
  EXPECT_TRUE(fs::exists(day_file(2)));
}

TEST_F(JournalTest, CountsWhatPassesTheDaysLimitAndSaysSoOnceAtTheEnd) {
  Start(R"({"day-limit-mib": 1})");
  const std::string padding(4000, 'x');
  constexpr int kFlood = 600;  // about 2.4 MB of commands
  for (int i = 0; i < kFlood; ++i) Run("give " + padding);
  EXPECT_TRUE(Errors().empty());
  Plugin_Unload();

  const auto files = quillmark::testing::DayFiles(Labelled());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_LT(fs::file_size(files[0]), (1u << 20) + 2 * padding.size() + 1000);
  const auto lines = JournalLines(Labelled());
  EXPECT_EQ(ChainBreak(lines), "");
  const auto records = Records(lines);
  ASSERT_GE(records.size(), 3u);
  const json& omitted = records[records.size() - 2];
  ASSERT_EQ(omitted["event"], "omitted");
  const auto written = static_cast<int>(records.size()) - 3;  // start, omitted, stop
  EXPECT_EQ(omitted["count"].get<int>() + written, kFlood);
  EXPECT_LE(omitted["from"], omitted["to"]);
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find("day-limit-mib"), std::string::npos);
}

TEST_F(JournalTest, CountsRecordsWhileTheFolderCannotBeWrittenAndSaysSoOnceItCan) {
  // A file where the journal's folder should be: nothing can be made under it.
  const fs::path blocker = folder_.Root() / "share";
  std::ofstream(blocker) << "not a folder";
  Start(R"({"folder": ")" + (blocker / "journal").generic_string() + R"("})");
  for (int i = 0; i < 5; ++i) Run("give 1");
  ASSERT_GE(Errors().size(), 1u);
  EXPECT_LE(Errors().size(), 2u);  // the lock, and one line for the writes within the minute
  fs::remove(blocker);
  Run("give 2");
  Plugin_Unload();

  const auto lines = JournalLines(blocker / "journal" / kLabel);
  EXPECT_EQ(ChainBreak(lines), "");
  const auto records = Records(lines);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]["event"], "unwritten");
  EXPECT_EQ(records[0]["count"], 6);  // the start record and five commands
  EXPECT_EQ(records[1]["command"], "give 2");
  EXPECT_EQ(records[2]["event"], "stop");
  EXPECT_NE(Errors().back().find("writing works again; 6 records"), std::string::npos)
      << Errors().back();
}

TEST_F(JournalTest, ASecondServerOnTheLabelJournalsApart) {
  fs::create_directories(Labelled());
  bool held = false;
  std::string error;
  const host::FileHandle other = host::HoldLock((Labelled() / ".lock").string(), held, error);
  ASSERT_NE(other, host::kNoFile) << error;
  Start();
  Run("give 1");
  Plugin_Unload();
  host::CloseFile(other);

  EXPECT_TRUE(JournalLines(Labelled()).empty());
  const auto records = Records(JournalLines(Labelled("~2")));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1]["command"], "give 1");
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_NE(Errors()[0].find("held by another server"), std::string::npos) << Errors()[0];
}

TEST(JournalRecordTest, NamesFoldersAndDaysSafely) {
  const std::pair<const char*, const char*> labels[] = {
      {"Demo", "Demo"},
      {"Ragnarok_WP.2", "Ragnarok_WP.2"},
      {"a/b\\c:d", "a%2Fb%5Cc%3Ad"},
      {"..", "%2E%2E"},
      {"CON", "%43ON"},
      {"nul.txt", "%6Eul.txt"},
      {"Demo~2", "Demo%7E2"},
      {"", "%"},
      {"Île 50%", "Île%2050%25"},
  };
  for (const auto& [label, folder] : labels) {
    EXPECT_EQ(quillmark::LabelFolderName(label), folder);
  }
  EXPECT_EQ(quillmark::UtcTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(quillmark::UtcTime(1796823912345), "2026-12-09T13:45:12.345Z");
  std::int64_t day = 0;
  EXPECT_TRUE(quillmark::DayOfFileName("2026-12-09.jsonl", day));
  EXPECT_EQ(day * 86400000, 1796774400000);
  for (const char* other : {"2026-12-9.jsonl", "2026-13-09.jsonl", "2026-12-09.json", ".lock"}) {
    EXPECT_FALSE(quillmark::DayOfFileName(other, day)) << other;
  }
}

}  // namespace
