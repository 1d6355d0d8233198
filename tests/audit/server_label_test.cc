// The server label: the "-serverkey=" option as Windows splits the command line, else the map,
// kept once it is not empty, and every host string given back.
#include "audit/server_label.h"

#include <gtest/gtest.h>

#include "host/host_text.h"
#include "support/host_support.h"

namespace {

using quillmark::FStringToNarrow;
using quillmark::GetServerLabel;
using quillmark::testing::Host;
using quillmark::testing::LiveBlocks;

class ServerLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_line_ = GetCommandLineW();
    quillmark::ForgetServerLabel();
    sim::StartWorld("TheIsland_WP");
  }
  void TearDown() override {
    quillmark::ForgetServerLabel();
    sim::StopWorld();
    sim::SetCommandLine(saved_line_);
  }
  static void CommandLine(const std::string& utf8) { sim::SetCommandLine(Host(utf8)); }

  // The label of one call, checking that the call gave back every block it took apart from
  // what the label cache keeps.
  static std::string Label() {
    const LiveBlocks blocks;
    const auto argv_before = sim::LiveArgvBlocks();
    std::string narrow;
    {
      const FString label = GetServerLabel();
      narrow = FStringToNarrow(label);
    }
    EXPECT_LE(blocks.Leaked(), 1);  // at most the cache's buffer, made on the first fill
    EXPECT_EQ(sim::LiveArgvBlocks(), argv_before);
    return narrow;
  }

  HostText saved_line_;
};

struct OptionCase {
  const char* name;
  const char* line;
  const char* label;
};

class ServerKeyOptionTest : public ServerLabelTest,
                            public ::testing::WithParamInterface<OptionCase> {};

TEST_P(ServerKeyOptionTest, TakesTheFirstQualifyingArgument) {
  CommandLine(GetParam().line);
  EXPECT_EQ(Label(), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServerKeyOptionTest,
    ::testing::Values(
        OptionCase{"lower", "ShooterGameServer.exe -serverkey=Alpha", "Alpha"},
        OptionCase{"upper_keeps_value_case", "srv.exe -SERVERKEY=Alpha", "Alpha"},
        OptionCase{"mixed", "srv.exe -ServerKey=aLPHA -log", "aLPHA"},
        OptionCase{"first_of_two", "srv.exe -serverkey=One -serverkey=Two", "One"},
        OptionCase{"inside_another_argument", "srv.exe x-serverkey=abc", "TheIsland_WP"},
        OptionCase{"quoted_with_space", "srv.exe \"-serverkey=My Server\"", "My Server"},
        OptionCase{"backslash_quote", R"(srv.exe -serverkey=a\"b)", "a\"b"},
        OptionCase{"in_the_program_name", "-serverkey=Prog -x", "Prog"},
        OptionCase{"none", "srv.exe TheIsland_WP?listen -log", "TheIsland_WP"},
        OptionCase{"non_ascii_value", "srv.exe -serverkey=Caf\xC3\xA9", "Caf?"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(ServerLabelTest, MapNameIsKeptAfterAMapChange) {
  CommandLine("srv.exe -log");
  EXPECT_EQ(Label(), "TheIsland_WP");
  sim::SetMapName("ScorchedEarth_WP");
  EXPECT_EQ(Label(), "TheIsland_WP");
}

TEST_F(ServerLabelTest, OptionIsKeptAfterTheCommandLineChanges) {
  CommandLine("srv.exe -serverkey=Alpha");
  EXPECT_EQ(Label(), "Alpha");
  CommandLine("srv.exe -serverkey=Beta");
  EXPECT_EQ(Label(), "Alpha");
}

TEST_F(ServerLabelTest, EmptyValueIsNotKeptAndWinsOverTheMap) {
  CommandLine("srv.exe -serverkey= -serverkey=Later");
  EXPECT_EQ(Label(), "");
  EXPECT_EQ(Label(), "");
  CommandLine("srv.exe -serverkey=Now");
  EXPECT_EQ(Label(), "Now");  // computed again, since nothing was kept
}

TEST_F(ServerLabelTest, EmptyMapIsAskedAgainUntilItHasAName) {
  CommandLine("srv.exe");
  sim::SetMapName("");
  EXPECT_EQ(Label(), "");
  sim::SetMapName("Ragnarok_WP");
  EXPECT_EQ(Label(), "Ragnarok_WP");
  sim::SetMapName("Other_WP");
  EXPECT_EQ(Label(), "Ragnarok_WP");
}

TEST_F(ServerLabelTest, WithoutAGameModeOnlyTheOptionCountsAndNothingIsKept) {
  sim::StopWorld();
  CommandLine("srv.exe -serverkey=Early");
  EXPECT_EQ(Label(), "Early");
  CommandLine("srv.exe");
  EXPECT_EQ(Label(), "");
  sim::StartWorld("Aberration_WP");
  EXPECT_EQ(Label(), "Aberration_WP");
}

TEST_F(ServerLabelTest, CopyIsIndependentOfTheKeptLabel) {
  CommandLine("srv.exe -serverkey=Alpha");
  {
    FString first = GetServerLabel();
    EXPECT_EQ(first.GetCharArray().Num(), 6);
    EXPECT_EQ(first.GetCharArray().Max(), 6);
    first.Empty();
  }
  const LiveBlocks blocks;
  {
    FString copy = GetServerLabel();
    EXPECT_EQ(FStringToNarrow(copy), "Alpha");
    EXPECT_EQ(blocks.Leaked(), 1);  // the copy alone
  }
  EXPECT_EQ(blocks.Leaked(), 0);
  EXPECT_EQ(Label(), "Alpha");
}

TEST_F(ServerLabelTest, FilledLabelTouchesNeitherTheWorldNorTheCommandLine) {
  CommandLine("srv.exe -serverkey=Alpha");
  EXPECT_EQ(Label(), "Alpha");
  sim::StopWorld();  // a lookup of the map now would find no game mode
  const auto before = sim::GetAllocatorStats();
  const FString label = GetServerLabel();
  const auto after = sim::GetAllocatorStats();
  EXPECT_EQ(after.malloc_calls + after.realloc_calls - before.malloc_calls - before.realloc_calls,
            1);
  EXPECT_EQ(FStringToNarrow(label), "Alpha");
}

}  // namespace
