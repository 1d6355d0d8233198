// Why this exists: a module with thread_local data needs a TLS directory (_tls_used) for the
// loader, the initializers of its thread_local objects run on each thread before first use, and
// their destructors run when the thread ends; Visual Studio's start-up code provides all three.
#include <stdlib.h>

#include "startup.h"

extern "C" {
ULONG _tls_index = 0;

// The module's TLS template lies between these markers, which the linker sorts around the .tls
// sections of every object.
#pragma section(".tls", read, write)
#pragma section(".tls$ZZZ", read, write)
__declspec(allocate(".tls")) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) char _tls_end = 0;

// TLS callbacks (XL) and thread_local initializers (XD), each between two markers.
#pragma section(".CRT$XLA", long, read)
#pragma section(".CRT$XLC", long, read)
#pragma section(".CRT$XLD", long, read)
#pragma section(".CRT$XLZ", long, read)
#pragma section(".CRT$XDA", long, read)
#pragma section(".CRT$XDZ", long, read)
__declspec(allocate(".CRT$XLA")) PIMAGE_TLS_CALLBACK __xl_a = nullptr;
__declspec(allocate(".CRT$XLZ")) PIMAGE_TLS_CALLBACK __xl_z = nullptr;
__declspec(allocate(".CRT$XDA")) StartupVoidFn __xd_a = nullptr;
__declspec(allocate(".CRT$XDZ")) StartupVoidFn __xd_z = nullptr;

#pragma section(".rdata$T", long, read)
__declspec(allocate(".rdata$T")) extern const IMAGE_TLS_DIRECTORY64 _tls_used = {
    reinterpret_cast<ULONGLONG>(&_tls_start),
    reinterpret_cast<ULONGLONG>(&_tls_end),
    reinterpret_cast<ULONGLONG>(&_tls_index),
    reinterpret_cast<ULONGLONG>(&__xl_a + 1),
    0,
    0};

// Whether this thread's thread_local objects have been initialized: the compiler checks it
// before each use and calls __dyn_tls_on_demand_init when it is false.
__declspec(thread) bool __tls_guard = false;

static void InitializeThreadLocals() {
  __tls_guard = true;
  for (StartupVoidFn* initializer = &__xd_a + 1; initializer != &__xd_z; ++initializer) {
    if (*initializer != nullptr) (*initializer)();
  }
}

void __cdecl __dyn_tls_on_demand_init() noexcept {
  if (!__tls_guard) InitializeThreadLocals();
}

static void NTAPI InitializeOnThreadStart(PVOID, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_ATTACH && !__tls_guard) InitializeThreadLocals();
}

// The destructors of this thread's thread_local objects, most recent first.
struct ThreadLocalDestructor {
  StartupVoidFn destroy;
  ThreadLocalDestructor* next;
};
static __declspec(thread) ThreadLocalDestructor* thread_destructors = nullptr;

int __cdecl __tlregdtor(StartupVoidFn destroy) {
  auto* entry = static_cast<ThreadLocalDestructor*>(malloc(sizeof(ThreadLocalDestructor)));
  if (entry == nullptr) return -1;
  entry->destroy = destroy;
  entry->next = thread_destructors;
  thread_destructors = entry;
  return 0;
}

static void NTAPI DestroyOnThreadEnd(PVOID, DWORD reason, LPVOID) {
  if (reason != DLL_THREAD_DETACH && reason != DLL_PROCESS_DETACH) return;
  while (ThreadLocalDestructor* entry = thread_destructors) {
    thread_destructors = entry->next;
    entry->destroy();
    free(entry);
  }
}

__declspec(allocate(".CRT$XLC")) PIMAGE_TLS_CALLBACK __xl_c = InitializeOnThreadStart;
__declspec(allocate(".CRT$XLD")) PIMAGE_TLS_CALLBACK __xl_d = DestroyOnThreadEnd;
}
