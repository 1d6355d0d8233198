// The operator's program as an operator runs it: check and explain, and journal search, verify
// and report on a journal, with their exit statuses; without a folder it reads the journal that
// the config.json beside it names. On Windows this is quillmark.exe under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/journal_fixture.h"
#include "support/process.h"
#include "tools/journal/files.h"

namespace quillmark::tools {
namespace {

using testing::JournalFixture;
using testing::ProcessResult;

ProcessResult RunTool(const std::vector<std::string>& args) {
  ProcessResult result = testing::RunProcess(QUILLMARK_TOOL, args);
  if (testing::WineDidNotStart(result)) result = testing::RunProcess(QUILLMARK_TOOL, args);
  return result;
}

class ToolProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    journal_.Event("Demo", "2026-12-08T10:00:00.000Z", "start");
    journal_.Console("Demo", "2026-12-08T10:01:00.000Z", "Mia", "E1", "fly", "blocked");
    journal_.Console("Demo", "2026-12-09T10:00:00.000Z", "Rex", "E2", "give 1", "allowed");
    journal_.Rcon("Island", "2026-12-09T09:00:00.000Z", "#1 (127.0.0.1:1)", "ListPlayers");
    root_ = Utf8Path(journal_.Root());
  }

  JournalFixture journal_;
  std::string root_;
};

TEST_F(ToolProgramTest, ChecksAndExplainsAConfiguration) {
  const auto config = journal_.Root() / "config.json";
  std::ofstream(config, std::ios::binary) << R"({"white-list": ["give"], "whitelist": []})";
  const ProcessResult checked = RunTool({"check", Utf8Path(config)});
  EXPECT_EQ(checked.exit_code, 1) << checked.err;
  EXPECT_NE(checked.out.find("warning: /whitelist is not a key the plugin reads"),
            std::string::npos)
      << checked.out;
  const ProcessResult explained =
      RunTool({"explain", "--config", Utf8Path(config), "--eos", "E1", "fly"});
  EXPECT_EQ(explained.exit_code, 1);
  EXPECT_EQ(explained.out.rfind("blocked\n", 0), 0u) << explained.out;
  const ProcessResult help = RunTool({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("quillmark journal search"), std::string::npos);
}

TEST_F(ToolProgramTest, JournalCommandsAnswerWithTheirExitStatus) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* out;  // a part of standard output
  };
  const Case cases[] = {
      {{"journal", "search", root_, "--decision", "blocked", "--format", "jsonl"},
       0,
       "\"player\":\"Mia\""},
      {{"journal", "search", root_, "--since", "2026-12-09"},
       0,
       "2026-12-09T09:00:00.000Z Island #1 rcon audited client #1 (127.0.0.1:1): ListPlayers\n"
       "2026-12-09T10:00:00.000Z Demo #3 console allowed Rex (E2), admin: false: give 1\n"},
      {{"journal", "search", root_, "--format", "csv", "--player", "rex"},
       0,
       "\r\n3,2026-12-09T10:00:00.000Z,Demo,console,,Rex,E2,false,,give 1,allowed,"},
      {{"journal", "search", root_, "--player", "nobody"}, 1, ""},
      {{"journal", "search", root_, "--since", "yesterday"}, 2, ""},
      {{"journal", "search", root_, "--decision", "maybe"}, 2, ""},
      {{"journal", "search", root_, "--colour"}, 2, ""},
      {{"journal", "search", root_ + "/none"}, 2, ""},
      {{"journal", "frobnicate"}, 2, ""},
      {{"journal", "verify", root_},
       0,
       "intact: 4 records of 2 servers, 2026-12-08T10:00:00.000Z to 2026-12-09T10:00:00.000Z\n"},
      {{"journal", "report", root_, "--until", "2026-12-08"}, 0, "Commands per day\n"},
      {{"journal", "report", root_, "--since", "2027-01-01"}, 1, ""},
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunTool(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.args[1] << " " << c.args.back() << "\n"
                                             << result.out << result.err;
    EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
    if (c.exit_code == 2) {
      EXPECT_NE(result.err, "") << c.args.back();
    }
  }

  // A record edited: verify exits 1 and names it.
  auto lines = JournalFixture::ReadLines(journal_.Day("Demo", "2026-12-08"));
  lines[1].replace(lines[1].find("fly"), 3, "fli");
  JournalFixture::WriteLines(journal_.Day("Demo", "2026-12-08"), lines);
  const ProcessResult broken = RunTool({"journal", "verify", root_});
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE(broken.out.find("2026-12-08.jsonl:2: edited: "), std::string::npos) << broken.out;
}

TEST_F(ToolProgramTest, WritesTheReportAsOnePage) {
  const auto page = journal_.Root() / "report.html";
  const ProcessResult result = RunTool({"journal", "report", root_, "--html", Utf8Path(page)});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::ifstream in(page, std::ios::binary);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("<svg id=\"chart\""), std::string::npos);
  EXPECT_EQ(html.find("src="), std::string::npos);  // nothing loaded from elsewhere
  EXPECT_EQ(html.find("href="), std::string::npos);
}

// Without a folder: the journal of the config.json beside the program.
TEST_F(ToolProgramTest, ReadsTheJournalOfTheConfigurationBesideIt) {
  const auto beside = std::filesystem::path(QUILLMARK_TOOL).parent_path() / "config.json";
  ASSERT_FALSE(std::filesystem::exists(beside)) << "the program's folder holds a config.json";
  std::ofstream(beside, std::ios::binary)
      << nlohmann::json{{"journal", {{"folder", root_}}}}.dump();
  const ProcessResult result = RunTool({"journal", "search", "--server", "Island"});
  std::filesystem::remove(beside);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.out.find("Island #1 rcon audited"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace quillmark::tools
