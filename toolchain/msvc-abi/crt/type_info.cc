// Why this exists: every module carries its own type_info destructor, virtual table and name
// cache (Visual Studio links them statically). clang emits a virtual table only where a
// constructor runs, and type_info has none, yet every RTTI descriptor points at
// ??_7type_info@@6B@; Wine's vcruntime140.dll does not export it. So it is written out here.
#include <typeinfo>

#include "startup.h"

extern "C" __type_info_node __type_info_root_node = {};

type_info::~type_info() noexcept {}

// The scalar deleting destructor, the table's one slot.
extern "C" void* __cdecl QuillmarkTypeInfoDeletingDestructor(type_info* self, unsigned flags) asm(
    "??_Gtype_info@@UEAAPEAXI@Z");
extern "C" void* __cdecl QuillmarkTypeInfoDeletingDestructor(type_info* self, unsigned flags) {
  self->~type_info();
  if ((flags & 1) != 0) ::operator delete(self);
  return self;
}

// The table, preceded by the slot of its complete-object locator (none: type_info's own RTTI is
// never asked for).
asm(R"(
    .section .rdata,"dr"
    .p2align 3
    .quad 0
    .globl "??_7type_info@@6B@"
"??_7type_info@@6B@":
    .quad "??_Gtype_info@@UEAAPEAXI@Z"
    .text
)");
