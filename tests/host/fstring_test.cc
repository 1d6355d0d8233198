// The engine's FString and TArray as the simulated host provides them: layout, ownership of
// buffers, and the members the plugin relies on.
#include <gtest/gtest.h>

#include "support/host_support.h"

namespace {

using quillmark::testing::Host;
using quillmark::testing::HostString;
using quillmark::testing::LiveBlocks;

HostText Text(const FString& s) { return HostText(*s); }

TEST(FStringTest, EmptyTextHasNoBuffer) {
  const LiveBlocks blocks;
  FString from_empty(HOST_TEXT(""));
  FString from_null(static_cast<const HostChar*>(nullptr));
  FString zero_count(0, HOST_TEXT("abc"));
  for (const FString* s : {&from_empty, &from_null, &zero_count}) {
    EXPECT_EQ(s->GetCharArray().GetData(), nullptr);
    EXPECT_EQ(s->GetCharArray().Num(), 0);
    EXPECT_EQ(s->Len(), 0);
    EXPECT_EQ(Text(*s), HostText());
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(FStringTest, CountIncludesTerminatingZeroAndCopyAllocatesExactly) {
  FString original(HOST_TEXT("hello"));
  EXPECT_EQ(original.GetCharArray().Num(), 6);
  EXPECT_EQ(original.Len(), 5);
  const auto before = sim::GetAllocatorStats();
  FString copy(original);
  const auto after = sim::GetAllocatorStats();
  EXPECT_EQ(after.live_blocks - before.live_blocks, 1);
  EXPECT_EQ(after.live_bytes - before.live_bytes, 6 * 2);
  EXPECT_EQ(copy.GetCharArray().Max(), 6);
  EXPECT_NE(copy.GetCharArray().GetData(), original.GetCharArray().GetData());
  EXPECT_EQ(Text(copy), HOST_TEXT("hello"));
}

TEST(FStringTest, MoveTakesBufferAndLeavesSourceEmpty) {
  const LiveBlocks blocks;
  {
    FString source(HOST_TEXT("abc"));
    const HostChar* buffer = source.GetCharArray().GetData();
    FString target(std::move(source));
    EXPECT_EQ(target.GetCharArray().GetData(), buffer);
    EXPECT_EQ(source.GetCharArray().GetData(), nullptr);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(source.GetCharArray().Num(), 0);
    FString assigned(HOST_TEXT("old"));
    assigned = std::move(target);
    EXPECT_EQ(Text(assigned), HOST_TEXT("abc"));
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(FStringTest, NarrowConstructorReplacesNonAscii) {
  FString s("caf\xC3\xA9");
  EXPECT_EQ(Text(s), HOST_TEXT("caf??"));
}

TEST(FStringTest, CountedConstructorStopsAtCount) {
  FString s(3, HOST_TEXT("abcdef"));
  EXPECT_EQ(s.GetCharArray().Num(), 4);
  EXPECT_EQ(Text(s), HOST_TEXT("abc"));
}

TEST(FStringTest, AssigningTextReplacesItExactly) {
  const LiveBlocks blocks;
  {
    FString s(HOST_TEXT("-serverkey=Alpha"));
    s = HOST_TEXT("Beta");
    EXPECT_EQ(Text(s), HOST_TEXT("Beta"));
    EXPECT_EQ(s.GetCharArray().Num(), 5);
    s = HOST_TEXT("");
    EXPECT_EQ(s.GetCharArray().GetData(), nullptr);
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(FStringTest, EmptyGivesTheBufferBack) {
  FString s(HOST_TEXT("abc"));
  const LiveBlocks blocks;
  s.Empty();
  EXPECT_EQ(blocks.Leaked(), -1);
  EXPECT_EQ(s.GetCharArray().Num(), 0);
  EXPECT_EQ(s.Len(), 0);
}

struct ParseCase {
  const char* name;
  HostText text;
  bool cull;
  std::vector<HostText> pieces;
};

class ParseIntoArrayTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseIntoArrayTest, SplitsAtEveryDelimiter) {
  const ParseCase& c = GetParam();
  const LiveBlocks blocks;
  {
    FString text(c.text.c_str());
    TArray<FString> pieces;
    pieces.Emplace(HOST_TEXT("stale"));  // emptied first
    const int count = text.ParseIntoArray(pieces, HOST_TEXT(" "), c.cull);
    ASSERT_EQ(count, static_cast<int>(c.pieces.size()));
    for (int i = 0; i < count; ++i) EXPECT_EQ(Text(pieces[i]), c.pieces[i]) << i;
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseIntoArrayTest,
    ::testing::Values(
        ParseCase{"plain",
                  HOST_TEXT("give item 1"),
                  true,
                  {HOST_TEXT("give"), HOST_TEXT("item"), HOST_TEXT("1")}},
        ParseCase{"culled", HOST_TEXT("  fly   now "), true, {HOST_TEXT("fly"), HOST_TEXT("now")}},
        ParseCase{"kept",
                  HOST_TEXT(" a  b"),
                  false,
                  {HOST_TEXT(""), HOST_TEXT("a"), HOST_TEXT(""), HOST_TEXT("b")}},
        ParseCase{"spaces_only", HOST_TEXT("   "), true, {}},
        ParseCase{"empty", HOST_TEXT(""), true, {}},
        ParseCase{"tab_is_no_separator",
                  HOST_TEXT("fly\tnow x"),
                  true,
                  {HOST_TEXT("fly\tnow"), HOST_TEXT("x")}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(FStringTest, RemoveFromStartIgnoresLetterCaseOnlyWhenAsked) {
  const FString prefix(HOST_TEXT("-serverkey="));
  FString upper(HOST_TEXT("-SERVERKEY=Alpha"));
  EXPECT_TRUE(upper.RemoveFromStart(prefix, ESearchCase::IgnoreCase));
  EXPECT_EQ(Text(upper), HOST_TEXT("Alpha"));

  FString sensitive(HOST_TEXT("-SERVERKEY=Alpha"));
  EXPECT_FALSE(sensitive.RemoveFromStart(prefix, ESearchCase::CaseSensitive));
  EXPECT_EQ(Text(sensitive), HOST_TEXT("-SERVERKEY=Alpha"));

  FString inside(HOST_TEXT("x-serverkey=1"));
  EXPECT_FALSE(inside.RemoveFromStart(prefix));
  FString shorter(HOST_TEXT("-server"));
  EXPECT_FALSE(shorter.RemoveFromStart(prefix));
  FString exact(HOST_TEXT("-serverkey="));
  EXPECT_TRUE(exact.RemoveFromStart(prefix));
  EXPECT_EQ(exact.Len(), 0);
  EXPECT_FALSE(exact.RemoveFromStart(FString()));
}

TEST(FStringTest, StrnicmpFoldsOnlyAsciiLetters) {
  EXPECT_EQ(FGenericPlatformStricmp::Strnicmp(HOST_TEXT("AbC"), HOST_TEXT("aBc"), 3), 0);
  EXPECT_EQ(FGenericPlatformStricmp::Strnicmp(HOST_TEXT("abX"), HOST_TEXT("abY"), 2), 0);
  EXPECT_NE(FGenericPlatformStricmp::Strnicmp(HOST_TEXT("[a"), HOST_TEXT("{a"), 2), 0);
  EXPECT_NE(
      FGenericPlatformStricmp::Strnicmp(Host("\xC3\xA9").c_str(), Host("\xC3\x89").c_str(), 1), 0);
  EXPECT_NE(FGenericPlatformStricmp::Strnicmp(HOST_TEXT("ab"), HOST_TEXT("abc"), 3), 0);
}

TEST(TArrayTest, GrowsThroughTheEngineAllocatorAndReleasesEverything) {
  const LiveBlocks blocks;
  {
    TArray<FString> array;
    for (int i = 0; i < 100; ++i) array.Emplace(HOST_TEXT("piece"));
    EXPECT_EQ(array.Num(), 100);
    EXPECT_GE(array.Max(), 100);
    EXPECT_EQ(Text(array[99]), HOST_TEXT("piece"));
    EXPECT_EQ(blocks.Leaked(), 101);
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(Utf8DecodeTest, DecodesAndReplacesInvalidInput) {
  EXPECT_EQ(Host("abc"), HOST_TEXT("abc"));
  EXPECT_EQ(Host("\xC3\xA9"), HostText(1, HostChar(0xE9)));
  EXPECT_EQ(Host("\xF0\x9F\x98\x80"), (HostText{HostChar(0xD83D), HostChar(0xDE00)}));
  EXPECT_EQ(Host("a\xFF"
                 "b"),
            (HostText{'a', HostChar(0xFFFD), 'b'}));
  EXPECT_EQ(Host("\xE2\x82"
                 "A"),
            (HostText{HostChar(0xFFFD), 'A'}));
  EXPECT_EQ(Host("\xC0\xAF"), HostText(2, HostChar(0xFFFD)));      // never a lead byte
  EXPECT_EQ(Host("\xED\xA0\x80"), HostText(1, HostChar(0xFFFD)));  // a lone surrogate
}

}  // namespace
