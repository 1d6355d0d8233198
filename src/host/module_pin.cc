// The reference is the loader's own count; the delayed release is a one-shot timer of the thread
// pool whose callback asks the pool to free the library after the callback has returned
// (FreeLibraryWhenCallbackReturns), so that no code of the library runs once it is freed. On
// Windows these are the system's functions; elsewhere the simulated host provides them for the
// libraries its loader loads.
#include "host/module_pin.h"

#include <atomic>

#include "host/host.h"

#if defined(_WIN32)
#include <windows.h>
using ModuleHandle = HMODULE;
#define POOL_CALLBACK CALLBACK
#else
using ModuleHandle = void*;
#define POOL_CALLBACK
#endif

namespace host {
namespace {

// Any address inside this library names it.
const char kHere = 0;

// Detours and command callbacks of the plugin running now, on any thread.
std::atomic<int> running{0};

// How long after the unload the last reference is given back. The detour that asked only has to
// return, which takes microseconds; this leaves a wide margin for a stalled game thread.
constexpr long long kReleaseDelay100ns = 5LL * 10'000'000;

void POOL_CALLBACK ReleaseOnPool(PTP_CALLBACK_INSTANCE instance, void* module, PTP_TIMER timer) {
  CloseThreadpoolTimer(timer);
  FreeLibraryWhenCallbackReturns(instance, static_cast<ModuleHandle>(module));
}

// One more reference to this library; null when the code is not in a library the loader counts
// (linked into a program): then there is nothing to keep.
ModuleHandle TakeReference() {
  ModuleHandle module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<const HostChar*>(&kHere), &module) != 0) {
    return module;
  }
  return nullptr;
}

}  // namespace

CodeOnStack::CodeOnStack() noexcept { running.fetch_add(1, std::memory_order_relaxed); }
CodeOnStack::~CodeOnStack() noexcept { running.fetch_sub(1, std::memory_order_relaxed); }
bool CodeOnStack::Any() noexcept { return running.load(std::memory_order_relaxed) > 0; }

ModulePin::ModulePin() : module_(TakeReference()) {}

void KeepLoadedForGood() { (void)TakeReference(); }

ModulePin::~ModulePin() {
  if (module_ == nullptr || later_) return;
  (void)FreeLibrary(static_cast<ModuleHandle>(module_));
}

void ModulePin::ReleaseLater() {
  if (module_ == nullptr) return;
  later_ = true;
  PTP_TIMER timer = CreateThreadpoolTimer(&ReleaseOnPool, module_, nullptr);
  // Without a timer the reference is kept: a library left loaded is harmless, a freed one
  // under a running caller is not.
  if (timer == nullptr) return;
  const auto due = static_cast<unsigned long long>(-kReleaseDelay100ns);
  FILETIME when{};
  when.dwLowDateTime = static_cast<decltype(when.dwLowDateTime)>(due & 0xFFFFFFFFULL);
  when.dwHighDateTime = static_cast<decltype(when.dwHighDateTime)>(due >> 32);
  SetThreadpoolTimer(timer, &when, 0, 0);
}

}  // namespace host
