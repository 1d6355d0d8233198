// The Windows loader as the simulated host provides it on POSIX systems: libraries loaded with
// reference counts, their DllMain told of attach and detach as Windows tells it, the owning
// library of an address, and the thread-pool timer with which a library can have its last
// reference given back by the pool once the library's own code has returned. The dynamic linker
// does the mapping; this keeps the count the way Windows counts.
#include <dlfcn.h>
#include <link.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

using DllMainFn = int (*)(void*, unsigned long, void*);
constexpr unsigned long kProcessDetach = 0;
constexpr unsigned long kProcessAttach = 1;
constexpr int kErrorDllInitFailed = 1114;

struct Library {
  void* handle = nullptr;  // the dynamic linker's
  void* base = nullptr;    // the module handle, as Windows gives the image base
  int references = 0;
};

// The loader lock: held while a library is mapped or unmapped and while its DllMain runs, as on
// Windows, so that a library's detach on one thread is over before another thread maps it anew.
std::recursive_mutex& LoaderMutex() {
  static auto* mutex = new std::recursive_mutex();
  return *mutex;
}
std::vector<Library>& Libraries() {
  static auto* libraries = new std::vector<Library>();
  return *libraries;
}

void* BaseOf(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

void* BaseOfHandle(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
  return BaseOf(map->l_ld);
}

Library* FindLocked(void* base) {
  for (Library& library : Libraries()) {
    if (library.base == base) return &library;
  }
  return nullptr;
}

DllMainFn EntryPoint(void* handle) { return reinterpret_cast<DllMainFn>(dlsym(handle, "DllMain")); }

// Gives back one reference; the last one detaches and unloads.
bool Release(void* base) {
  std::lock_guard lock(LoaderMutex());
  Library* library = FindLocked(base);
  if (library == nullptr) return false;
  if (--library->references > 0) return true;
  void* handle = library->handle;
  std::erase_if(Libraries(), [base](const Library& l) { return l.base == base; });
  if (DllMainFn entry = EntryPoint(handle)) (void)entry(base, kProcessDetach, nullptr);
  dlclose(handle);
  return true;
}

}  // namespace

void* ModuleOf(const void* address) { return BaseOf(address); }

void* OpenLibrary(const std::string& path, std::string& error, int& error_code) {
  std::lock_guard lock(LoaderMutex());
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
    error_code = 126;  // ERROR_MOD_NOT_FOUND
    return nullptr;
  }
  void* base = BaseOfHandle(handle);
  if (Library* loaded = FindLocked(base)) {
    ++loaded->references;  // already loaded: one more reference, no second attach
    dlclose(handle);
    return base;
  }
  if (DllMainFn entry = EntryPoint(handle);
      entry != nullptr && entry(base, kProcessAttach, nullptr) == 0) {
    // As Windows does: a FALSE from the attach notification fails the load, the library is
    // told of the detach and unloaded.
    (void)entry(base, kProcessDetach, nullptr);
    dlclose(handle);
    error = "its DllMain refused the attach";
    error_code = kErrorDllInitFailed;
    return nullptr;
  }
  Libraries().push_back({handle, base, 1});
  return base;
}

void* FindExport(void* module, const char* name) {
  void* handle = nullptr;
  {
    std::lock_guard lock(LoaderMutex());
    if (Library* library = FindLocked(module)) handle = library->handle;
  }
  return handle != nullptr ? dlsym(handle, name) : nullptr;
}

bool CloseLibrary(void* module) { return Release(module); }

void KillProcess(int code) { std::_Exit(code); }

void EndProcess(int code) {
  std::fflush(nullptr);
  {
    // Windows tells the libraries last loaded first. Here the program's own exit work follows
    // the notifications instead of coming before them; the libraries' destructors run after, in
    // exit, as on Windows.
    std::lock_guard lock(LoaderMutex());
    const std::vector<Library> libraries = Libraries();
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) {
      if (DllMainFn entry = EntryPoint(it->handle)) {
        (void)entry(it->base, kProcessDetach, reinterpret_cast<void*>(1));
      }
    }
  }
  std::fflush(nullptr);
  std::exit(code);
}

int LastLoaderError() { return 6; }  // ERROR_INVALID_HANDLE: a module this loader never loaded

bool LibraryStillMapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace sim

// The thread pool's timer: one thread per started timer, which waits, runs the callback, then
// gives back the reference a callback asked to have given back.
struct TP_CALLBACK_INSTANCE {
  void* module_to_free = nullptr;
};
struct TP_TIMER {
  PTP_TIMER_CALLBACK callback = nullptr;
  void* context = nullptr;
  std::mutex mutex;
  bool running = false;
  bool closed = false;
};

extern "C" {

int GetModuleHandleExW(unsigned long flags, const HostChar* address, void** module) {
  if (module == nullptr || (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) return 0;
  void* base = sim::BaseOf(address);
  std::lock_guard lock(sim::LoaderMutex());
  sim::Library* library = sim::FindLocked(base);
  if (library == nullptr) return 0;  // only libraries this loader loaded are counted
  ++library->references;
  *module = base;
  return 1;
}

int FreeLibrary(void* module) { return sim::Release(module) ? 1 : 0; }

PTP_TIMER CreateThreadpoolTimer(PTP_TIMER_CALLBACK callback, void* context, void* /*unused*/) {
  auto* timer = new TP_TIMER();
  timer->callback = callback;
  timer->context = context;
  return timer;
}

void SetThreadpoolTimer(PTP_TIMER timer, const FILETIME* due, unsigned long /*period_ms*/,
                        unsigned long /*window_ms*/) {
  if (timer == nullptr || due == nullptr) return;
  const auto raw = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(due->dwHighDateTime) << 32) | due->dwLowDateTime);
  // Negative: relative, in 100-nanosecond intervals.
  const auto delay = std::chrono::nanoseconds(raw < 0 ? -raw * 100 : 0);
  {
    std::lock_guard lock(timer->mutex);
    timer->running = true;
  }
  std::thread([timer, delay] {
    std::this_thread::sleep_for(delay);
    TP_CALLBACK_INSTANCE instance;
    timer->callback(&instance, timer->context, timer);
    bool close = false;
    {
      std::lock_guard lock(timer->mutex);
      timer->running = false;
      close = timer->closed;
    }
    if (close) delete timer;
    if (instance.module_to_free != nullptr) (void)FreeLibrary(instance.module_to_free);
  }).detach();
}

void CloseThreadpoolTimer(PTP_TIMER timer) {
  if (timer == nullptr) return;
  bool now = false;
  {
    std::lock_guard lock(timer->mutex);
    timer->closed = true;
    now = !timer->running;
  }
  if (now) delete timer;
}

void FreeLibraryWhenCallbackReturns(PTP_CALLBACK_INSTANCE instance, void* module) {
  if (instance != nullptr) instance->module_to_free = module;
}

}  // extern "C"
