// The simulated engine allocator: bookkeeping that tests rely on, and the hard stop on a block
// given back twice or never handed out.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>

#include "support/host_support.h"

namespace {

TEST(AllocatorTest, CountsCallsBlocksAndBytes) {
  const auto before = sim::GetAllocatorStats();
  void* block = FMemory::Malloc(40);
  block = FMemory::Realloc(block, 100);
  auto during = sim::GetAllocatorStats();
  EXPECT_EQ(during.malloc_calls - before.malloc_calls, 1);
  EXPECT_EQ(during.realloc_calls - before.realloc_calls, 1);
  EXPECT_EQ(during.live_blocks - before.live_blocks, 1);
  EXPECT_EQ(during.live_bytes - before.live_bytes, 100);
  FMemory::Free(block);
  FMemory::Free(nullptr);
  const auto after = sim::GetAllocatorStats();
  EXPECT_EQ(after.free_calls - before.free_calls, 2);
  EXPECT_EQ(after.live_blocks, before.live_blocks);
  EXPECT_EQ(after.live_bytes, before.live_bytes);
}

TEST(AllocatorTest, ReallocKeepsContentsAndNullActsAsMalloc) {
  auto* block = static_cast<char*>(FMemory::Realloc(nullptr, 4));
  std::memcpy(block, "abcd", 4);
  block = static_cast<char*>(FMemory::Realloc(block, 4096));
  EXPECT_EQ(std::string(block, 4), "abcd");
  block = static_cast<char*>(FMemory::Realloc(block, 2));
  EXPECT_EQ(std::string(block, 2), "ab");
  FMemory::Free(block);
}

TEST(AllocatorTest, HonoursAlignment) {
  for (std::uint32_t alignment : {0u, 8u, 16u, 64u, 4096u}) {
    void* block = FMemory::Malloc(3, alignment);
    const std::uintptr_t expected = alignment == 0 ? 16 : alignment;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % expected, 0u) << alignment;
    FMemory::Free(block);
  }
}

TEST(AllocatorTest, InjectedFailureThrowsBadAllocOnce) {
  sim::FailAllocation(2);
  void* first = FMemory::Malloc(8);
  EXPECT_THROW(FMemory::Malloc(8), std::bad_alloc);
  void* third = FMemory::Malloc(8);
  FMemory::Free(first);
  FMemory::Free(third);
}

using AllocatorDeathTest = ::testing::Test;

TEST(AllocatorDeathTest, GivingABlockBackTwiceStopsTheProcess) {
  EXPECT_DEATH(
      {
        void* block = FMemory::Malloc(8);
        FMemory::Free(block);
        FMemory::Free(block);
      },
      "FMemory.Free: block .* is not live");
}

TEST(AllocatorDeathTest, GivingBackAForeignBlockStopsTheProcess) {
  static int not_from_fmemory = 0;
  EXPECT_DEATH(FMemory::Free(&not_from_fmemory), "not live: it was given back already or never");
  EXPECT_DEATH(FMemory::Realloc(&not_from_fmemory, 8), "FMemory.Realloc: block");
}

TEST(AllocatorDeathTest, AnUnknownKeyStopsTheProcess) {
  EXPECT_DEATH(GetAddress("AShooterPlayerController.NoSuchFunction()"),
               "unknown function key \"AShooterPlayerController.NoSuchFunction\\(\\)\"");
  int object = 0;
  EXPECT_DEATH(GetAddress(&object, "AActor.NoSuchField"), "unknown field key");
  EXPECT_DEATH(GetBitField(&object, "APrimalPlayerController.bNoSuchFlag"),
               "unknown bit field key");
}

}  // namespace
