#include <windows.h>

#include <cstdlib>

#include "runtime/tracked_lock.h"

struct TrackedLock {
  uintptr_t owner;
  CRITICAL_SECTION section;
};

namespace {
TrackedLock g_process_instance;
}

TrackedLock* tracked_lock_process_instance() { return &g_process_instance; }

void tracked_lock_initialise(TrackedLock* lock) {
  lock->owner = 0;
  InitializeCriticalSection(&lock->section);
}

void tracked_lock_enter(TrackedLock* lock) {
  EnterCriticalSection(&lock->section);
  __atomic_store_n(&lock->owner, static_cast<uintptr_t>(GetCurrentThreadId()), __ATOMIC_RELAXED);
}

void tracked_lock_leave(TrackedLock* lock) {
  __atomic_store_n(&lock->owner, uintptr_t(0), __ATOMIC_RELAXED);
  LeaveCriticalSection(&lock->section);
}

void tracked_lock_delete(TrackedLock* lock) { DeleteCriticalSection(&lock->section); }

uintptr_t tracked_lock_owner_for_testing(const TrackedLock* lock) {
  return __atomic_load_n(&lock->owner, __ATOMIC_RELAXED);
}

TrackedLock* tracked_lock_create_for_testing() {
  TrackedLock* lock = static_cast<TrackedLock*>(malloc(sizeof(TrackedLock)));
  if (lock) tracked_lock_initialise(lock);
  return lock;
}

void tracked_lock_destroy_for_testing(TrackedLock* lock) {
  if (!lock) return;
  tracked_lock_delete(lock);
  free(lock);
}

uintptr_t tracked_lock_current_thread() { return GetCurrentThreadId(); }
