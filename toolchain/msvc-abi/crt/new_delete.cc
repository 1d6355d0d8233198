// Why this exists: Visual Studio links the replaceable allocation functions into every /MD
// module. They allocate from the UCRT's one heap, so a block may be freed by another module
// (the framework frees what a plugin allocated, and the reverse); on failure the new handler is
// asked, then std::bad_alloc is thrown.
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>

#include <new>

#include "startup.h"

namespace {

template <typename Allocate>
void* AllocateOrThrow(size_t size, Allocate allocate) {
  for (;;) {
    if (void* block = allocate(size)) return block;
    if (_callnewh(size) == 0) {
      if (size == SIZE_MAX) throw std::bad_array_new_length();
      throw std::bad_alloc();
    }
  }
}

}  // namespace

void* __cdecl operator new(size_t size) {
  return AllocateOrThrow(size, [](size_t n) { return malloc(n); });
}
void* __cdecl operator new[](size_t size) { return ::operator new(size); }
void* __cdecl operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* __cdecl operator new[](size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow);
}
void __cdecl operator delete(void* block) noexcept { free(block); }
void __cdecl operator delete[](void* block) noexcept { free(block); }
void __cdecl operator delete(void* block, size_t) noexcept { free(block); }
void __cdecl operator delete[](void* block, size_t) noexcept { free(block); }
void __cdecl operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void __cdecl operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }

void* __cdecl operator new(size_t size, std::align_val_t alignment) {
  return AllocateOrThrow(
      size, [alignment](size_t n) { return _aligned_malloc(n, static_cast<size_t>(alignment)); });
}
void* __cdecl operator new[](size_t size, std::align_val_t alignment) {
  return ::operator new(size, alignment);
}
void* __cdecl operator new(size_t size, std::align_val_t alignment,
                           const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
void* __cdecl operator new[](size_t size, std::align_val_t alignment,
                             const std::nothrow_t&) noexcept {
  return ::operator new(size, alignment, std::nothrow);
}
void __cdecl operator delete(void* block, std::align_val_t) noexcept { _aligned_free(block); }
void __cdecl operator delete[](void* block, std::align_val_t) noexcept { _aligned_free(block); }
void __cdecl operator delete(void* block, size_t, std::align_val_t) noexcept {
  _aligned_free(block);
}
void __cdecl operator delete[](void* block, size_t, std::align_val_t) noexcept {
  _aligned_free(block);
}
void __cdecl operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
void __cdecl operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
