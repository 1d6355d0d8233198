// Why this exists: the STL takes the allocation functions' declarations and std::nothrow_t from
// vcruntime's <vcruntime_new.h>. The functions themselves are linked into every module from the
// start-up library (crt/new_delete.cc), as Visual Studio links them, over the shared UCRT heap.
#pragma once
#include <vcruntime.h>

#ifdef __cplusplus
#pragma pack(push, _CRT_PACKING)
extern "C++" {

namespace std {
enum class align_val_t : size_t {};
struct nothrow_t {
  explicit nothrow_t() = default;
};
// Defined by msvcprt.lib's static part (the STL's own nothrow.cpp).
extern nothrow_t const nothrow;
}  // namespace std

[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new(size_t size);
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new(size_t size,
                                                         std::nothrow_t const&) noexcept;
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new[](size_t size);
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new[](size_t size,
                                                           std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* block) noexcept;
void __cdecl operator delete(void* block, std::nothrow_t const&) noexcept;
void __cdecl operator delete[](void* block) noexcept;
void __cdecl operator delete[](void* block, std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* block, size_t size) noexcept;
void __cdecl operator delete[](void* block, size_t size) noexcept;

[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new(size_t size, std::align_val_t alignment);
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new(size_t size, std::align_val_t alignment,
                                                         std::nothrow_t const&) noexcept;
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new[](size_t size, std::align_val_t alignment);
[[nodiscard]] _VCRT_ALLOCATOR void* __cdecl operator new[](size_t size, std::align_val_t alignment,
                                                           std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* block, std::align_val_t alignment) noexcept;
void __cdecl operator delete(void* block, std::align_val_t alignment,
                             std::nothrow_t const&) noexcept;
void __cdecl operator delete[](void* block, std::align_val_t alignment) noexcept;
void __cdecl operator delete[](void* block, std::align_val_t alignment,
                               std::nothrow_t const&) noexcept;
void __cdecl operator delete(void* block, size_t size, std::align_val_t alignment) noexcept;
void __cdecl operator delete[](void* block, size_t size, std::align_val_t alignment) noexcept;

#ifndef __PLACEMENT_NEW_INLINE
#define __PLACEMENT_NEW_INLINE
[[nodiscard]] inline void* __cdecl operator new(size_t, void* where) noexcept { return where; }
inline void __cdecl operator delete(void*, void*) noexcept {}
#endif
#ifndef __PLACEMENT_VEC_NEW_INLINE
#define __PLACEMENT_VEC_NEW_INLINE
[[nodiscard]] inline void* __cdecl operator new[](size_t, void* where) noexcept { return where; }
inline void __cdecl operator delete[](void*, void*) noexcept {}
#endif

}  // extern "C++"
#pragma pack(pop)
#endif  // __cplusplus
