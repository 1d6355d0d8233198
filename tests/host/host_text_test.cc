// Host text to narrow text and printf-style formatting into FString, including when they take a
// working buffer from the engine allocator and that they always give it back.
#include "host/host_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "support/host_support.h"

namespace {

using quillmark::FormatFString;
using quillmark::FStringToNarrow;
using quillmark::testing::HostString;
using quillmark::testing::LiveBlocks;

TEST(FStringToNarrowTest, KeepsAsciiAndReplacesEveryOtherUnit) {
  EXPECT_EQ(FStringToNarrow(FString()), "");
  EXPECT_EQ(FStringToNarrow(FString(HOST_TEXT(""))), "");
  FString only_zero;
  only_zero.GetCharArray().AddUninitialized(1);
  only_zero.GetCharArray()[0] = 0;
  EXPECT_EQ(FStringToNarrow(only_zero), "");
  EXPECT_EQ(FStringToNarrow(HostString("Ren\xC3\xA9 {x}")), "Ren? {x}");
  EXPECT_EQ(FStringToNarrow(HostString("a\xF0\x9F\x98\x80z")), "a??z");  // a surrogate pair
  EXPECT_EQ(FStringToNarrow(HostString("\xC4\x81\xC5\x81")), "??");      // low bytes 0x01, 0x41
  EXPECT_EQ(FStringToNarrow(HostString("tab\there\x7F")), "tab\there\x7F");
}

TEST(FStringToUtf8Test, KeepsEveryCharacterAndReplacesALoneSurrogate) {
  const std::string all =
      "\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E\xE9\x9B\xB7 Zo\xC3\xA9 \xF0\x9F\xA6\x96 {x}";
  EXPECT_EQ(quillmark::FStringToUtf8(HostString(all)), all);
  EXPECT_EQ(quillmark::FStringToUtf8(FString()), "");
  for (const std::vector<char16_t>& units :
       {std::vector<char16_t>{'a', 0xD83E, 'b'}, std::vector<char16_t>{'a', 0xDD96, 'b'},
        std::vector<char16_t>{'a', 0xD83E}}) {
    const HostText text(units.begin(), units.end());
    const std::string expected = units.size() == 3 ? "a\xEF\xBF\xBD"
                                                     "b"
                                                   : "a\xEF\xBF\xBD";
    EXPECT_EQ(quillmark::FStringToUtf8(FString(text.c_str())), expected);
  }
}

TEST(FStringToNarrowTest, StopsAtTheFirstZeroUnit) {
  FString s(HOST_TEXT("abcdef"));
  s.GetCharArray()[3] = 0;
  EXPECT_EQ(FStringToNarrow(s), "abc");
}

// Texts below 128 units use the fixed buffer; from 128 on, one block of length + 1 bytes is
// taken and given back.
TEST(FStringToNarrowTest, WorkingBufferOnlyFrom128UnitsAndAlwaysGivenBack) {
  for (const int length : {127, 128, 1000}) {
    const FString text(
        HostString(std::string(static_cast<std::size_t>(length - 1), 'x') + "\xC3\xA9"));
    const auto before = sim::GetAllocatorStats();
    const std::string narrow = FStringToNarrow(text);
    const auto after = sim::GetAllocatorStats();
    EXPECT_EQ(narrow.size(), static_cast<std::size_t>(length));
    EXPECT_EQ(narrow.back(), '?');
    const int expected_blocks = length < 128 ? 0 : 1;
    EXPECT_EQ(after.malloc_calls - before.malloc_calls, expected_blocks) << length;
    EXPECT_EQ(after.free_calls - before.free_calls, expected_blocks) << length;
    EXPECT_EQ(after.live_blocks, before.live_blocks) << length;
  }
}

TEST(FStringToNarrowTest, WorkingBufferGivenBackWhenResultAllocationFails) {
  // The working buffer is the first allocation; the narrow result is made after it.
  const FString text(HostString(std::string(200, 'y')));
  const LiveBlocks blocks;
  sim::FailAllocation(2);
  try {
    (void)FStringToNarrow(text);
  } catch (...) {
  }
  sim::FailAllocation(0);
  EXPECT_EQ(blocks.Leaked(), 0);
}

std::string Position(double x, double y, double z) {
  const FString text = FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), x, y, z);
  return FStringToNarrow(text);
}

TEST(FormatFStringTest, FormatsPositionsWithThreeDecimals) {
  EXPECT_EQ(Position(0, 0, 0), "X=0.000 Y=0.000 Z=0.000");
  EXPECT_EQ(Position(-12.5, 3, 1e6), "X=-12.500 Y=3.000 Z=1000000.000");
  EXPECT_EQ(Position(1500.25, -320, 12.125), "X=1500.250 Y=-320.000 Z=12.125");
  // An exact tie, rounded as the runtime rounds it.
  EXPECT_EQ(Position(0.0625, 0, 0), quillmark::testing::PrintfRoundsTiesToEven()
                                        ? "X=0.062 Y=0.000 Z=0.000"
                                        : "X=0.063 Y=0.000 Z=0.000");
}

TEST(FormatFStringTest, LongTextGrowsOnceAndGivesTheBufferBack) {
  const auto before = sim::GetAllocatorStats();
  const std::string text = Position(1e300, 1e300, 1e300);
  const auto after = sim::GetAllocatorStats();
  EXPECT_EQ(text.size(), 923u);
  EXPECT_EQ(text.substr(0, 4), "X=10");
  EXPECT_EQ(after.live_blocks, before.live_blocks);

  const auto short_before = sim::GetAllocatorStats();
  const FString fits = FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), 1e300, 0.0, 0.0);
  const auto short_after = sim::GetAllocatorStats();
  EXPECT_EQ(fits.Len(), 323);
  EXPECT_EQ(short_after.malloc_calls - short_before.malloc_calls, 0);  // no working buffer
}

TEST(FormatFStringTest, ExactlyOneGrowthTo1024UnitsForTheLargestPosition) {
  const auto before = sim::GetAllocatorStats();
  const FString text = FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), 1e300, 1e300, 1e300);
  const auto after = sim::GetAllocatorStats();
  EXPECT_EQ(text.Len(), 923);
  // The result's own buffer comes from Realloc, as the engine's arrays grow; the working buffer
  // is the one Malloc, of 1024 units, and is given back.
  EXPECT_EQ(after.malloc_calls - before.malloc_calls, 1);
  EXPECT_EQ(after.free_calls - before.free_calls, 1);
  EXPECT_EQ(after.live_blocks - before.live_blocks, 1);
}

TEST(FormatFStringTest, VeryLongTextsGrowRepeatedly) {
  const LiveBlocks blocks;
  {
    const FString text = FormatFString(HOST_TEXT("%3000.1f|%3000.1f"), 1.0, 2.0);
    EXPECT_EQ(text.Len(), 6001);
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(FormatFStringTest, ATextBeyondTheBoundGivesTheEmptyText) {
  const LiveBlocks blocks;
  {
    const FString text =
        FormatFString(HOST_TEXT("%*d"), static_cast<int>(quillmark::kMaxFormattedUnits), 1);
    EXPECT_EQ(text.Len(), 0);
    EXPECT_EQ(text.GetCharArray().GetData(), nullptr);
  }
  EXPECT_EQ(blocks.Leaked(), 0);
}

TEST(ReleaseFStringTest, GivesTheBufferBackAndLeavesTheEmptyText) {
  FString s(HOST_TEXT("name"));
  const LiveBlocks blocks;
  quillmark::ReleaseFString(s);
  EXPECT_EQ(blocks.Leaked(), -1);
  EXPECT_EQ(s.Len(), 0);
  quillmark::ReleaseFString(s);  // a second release finds nothing to give back
  EXPECT_EQ(blocks.Leaked(), -1);
}

}  // namespace
