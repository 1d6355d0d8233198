// The engine allocator of the simulated host: real blocks with bookkeeping of every live block,
// so that tests can prove every host string is given back, and so that a block given back twice
// or never handed out stops the process at once instead of corrupting memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

constexpr std::size_t kDefaultAlignment = 16;

struct Block {
  std::size_t size;
  std::size_t alignment;
};

class Allocator {
 public:
  void* Malloc(std::size_t count, std::uint32_t alignment) {
    std::lock_guard lock(mutex_);
    ++stats_.malloc_calls;
    return AllocateLocked(count, alignment);
  }

  void* Realloc(void* block, std::size_t count, std::uint32_t alignment) {
    std::lock_guard lock(mutex_);
    ++stats_.realloc_calls;
    if (block == nullptr) return AllocateLocked(count, alignment);
    const Block old = FindLocked(block, "FMemory.Realloc");
    void* fresh = AllocateLocked(count, alignment);
    std::memcpy(fresh, block, old.size < count ? old.size : count);
    ReleaseLocked(block, old);
    return fresh;
  }

  void Free(void* block) {
    std::lock_guard lock(mutex_);
    ++stats_.free_calls;
    if (block == nullptr) return;
    ReleaseLocked(block, FindLocked(block, "FMemory.Free"));
  }

  AllocatorStats Stats() {
    std::lock_guard lock(mutex_);
    return stats_;
  }

  void FailAfter(std::int64_t nth) {
    std::lock_guard lock(mutex_);
    fail_countdown_ = nth;
  }

 private:
  void* AllocateLocked(std::size_t count, std::uint32_t alignment) {
    if (fail_countdown_ > 0 && --fail_countdown_ == 0) throw std::bad_alloc();
    std::size_t align = alignment == 0 ? kDefaultAlignment : alignment;
    if ((align & (align - 1)) != 0) Fatal("FMemory: alignment %u is not a power of two", alignment);
    if (align < alignof(void*)) align = alignof(void*);
    const std::size_t size = count == 0 ? 1 : count;
    void* block = ::operator new(size, std::align_val_t(align));
    blocks_.emplace(block, Block{count, align});
    ++stats_.live_blocks;
    stats_.live_bytes += static_cast<std::int64_t>(count);
    return block;
  }

  Block FindLocked(void* block, const char* who) {
    const auto it = blocks_.find(block);
    if (it == blocks_.end()) {
      Fatal("%s: block %p is not live: it was given back already or never handed out by FMemory",
            who, block);
    }
    return it->second;
  }

  void ReleaseLocked(void* block, const Block& info) {
    blocks_.erase(block);
    --stats_.live_blocks;
    stats_.live_bytes -= static_cast<std::int64_t>(info.size);
    ::operator delete(block, std::align_val_t(info.alignment));
  }

  std::mutex mutex_;
  std::unordered_map<void*, Block> blocks_;
  AllocatorStats stats_;
  std::int64_t fail_countdown_ = 0;
};

// Never destroyed: host strings held by statics of other modules are given back during exit.
Allocator& TheAllocator() {
  static auto* allocator = new Allocator();
  return *allocator;
}

}  // namespace

void* EngineMalloc(std::size_t count, std::uint32_t alignment) {
  return TheAllocator().Malloc(count, alignment);
}
void* EngineRealloc(void* block, std::size_t count, std::uint32_t alignment) {
  return TheAllocator().Realloc(block, count, alignment);
}
void EngineFree(void* block) { TheAllocator().Free(block); }

AllocatorStats GetAllocatorStats() { return TheAllocator().Stats(); }
void FailAllocation(std::int64_t nth) { TheAllocator().FailAfter(nth); }

}  // namespace sim
