// Why this exists: a few of the STL's own sources that go into msvcprt.lib include the VC
// runtime's internal <internal_shared.h>, which is not open source; they need only its heap
// helpers, which here are the UCRT's heap functions.
#pragma once
#include <crtdbg.h>
#include <stdlib.h>

#define _malloc_crt malloc
#define _calloc_crt calloc
#define _free_crt free
#define _malloc_crt_t(type, count) static_cast<type*>(malloc(sizeof(type) * (count)))

// An owning pointer to a block of the UCRT heap.
template <class T>
class __crt_unique_heap_ptr {
 public:
  __crt_unique_heap_ptr() noexcept = default;
  explicit __crt_unique_heap_ptr(T* block) noexcept : block_(block) {}
  __crt_unique_heap_ptr(__crt_unique_heap_ptr&& other) noexcept : block_(other.detach()) {}
  __crt_unique_heap_ptr& operator=(__crt_unique_heap_ptr&& other) noexcept {
    reset(other.detach());
    return *this;
  }
  __crt_unique_heap_ptr& operator=(T* block) noexcept {
    reset(block);
    return *this;
  }
  ~__crt_unique_heap_ptr() { free(block_); }
  T* get() const noexcept { return block_; }
  T* detach() noexcept {
    T* block = block_;
    block_ = nullptr;
    return block;
  }
  T* release() noexcept { return detach(); }
  void reset(T* block = nullptr) noexcept {
    free(block_);
    block_ = block;
  }
  explicit operator bool() const noexcept { return block_ != nullptr; }

 private:
  T* block_ = nullptr;
};
