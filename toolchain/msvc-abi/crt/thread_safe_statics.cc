// Why this exists: the compiler guards each function-local static with these functions, so that
// exactly one thread runs its initializer while the others wait for it (C++11 "magic statics").
// A guard is 0 before, -1 during, and afterwards the epoch at which the initializer finished;
// each thread remembers the last epoch it has seen and only then skips the slow path.
#include <limits.h>

#include "startup.h"

extern "C" {
int _Init_global_epoch = INT_MIN;
__declspec(thread) int _Init_thread_epoch = INT_MIN;

static SRWLOCK guard_lock = SRWLOCK_INIT;
static CONDITION_VARIABLE guard_changed = CONDITION_VARIABLE_INIT;

void __cdecl _Init_thread_header(int* const guard) noexcept {
  AcquireSRWLockExclusive(&guard_lock);
  for (;;) {
    if (*guard == 0) {  // this thread runs the initializer
      *guard = -1;
      break;
    }
    if (*guard != -1) {  // another thread finished it meanwhile
      _Init_thread_epoch = _Init_global_epoch;
      break;
    }
    SleepConditionVariableSRW(&guard_changed, &guard_lock, INFINITE, 0);
  }
  ReleaseSRWLockExclusive(&guard_lock);
}

void __cdecl _Init_thread_footer(int* const guard) noexcept {
  AcquireSRWLockExclusive(&guard_lock);
  *guard = ++_Init_global_epoch;
  _Init_thread_epoch = _Init_global_epoch;
  ReleaseSRWLockExclusive(&guard_lock);
  WakeAllConditionVariable(&guard_changed);
}

// The initializer threw: the next thread to come tries again.
void __cdecl _Init_thread_abort(int* const guard) noexcept {
  AcquireSRWLockExclusive(&guard_lock);
  *guard = 0;
  ReleaseSRWLockExclusive(&guard_lock);
  WakeAllConditionVariable(&guard_changed);
}
}
