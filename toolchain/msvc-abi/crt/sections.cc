// Why this exists: the compiler puts pointers to each global's initializer into sections named
// .CRT$X?U; the linker sorts them by name between these markers, so the start-up code finds
// every initializer of the module between two addresses.
#include "startup.h"

#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
#pragma section(".CRT$XPA", long, read)
#pragma section(".CRT$XPZ", long, read)
#pragma section(".CRT$XTA", long, read)
#pragma section(".CRT$XTZ", long, read)

extern "C" {
__declspec(allocate(".CRT$XIA")) StartupIntFn __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) StartupIntFn __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) StartupVoidFn __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) StartupVoidFn __xc_z[] = {nullptr};
__declspec(allocate(".CRT$XPA")) StartupVoidFn __xp_a[] = {nullptr};
__declspec(allocate(".CRT$XPZ")) StartupVoidFn __xp_z[] = {nullptr};
__declspec(allocate(".CRT$XTA")) StartupVoidFn __xt_a[] = {nullptr};
__declspec(allocate(".CRT$XTZ")) StartupVoidFn __xt_z[] = {nullptr};
}
// The tables are read-only data once linked.
#pragma comment(linker, "/merge:.CRT=.rdata")

// Marks the module as using floating point, which the compiler asks for by this symbol.
extern "C" int _fltused = 0x9875;
