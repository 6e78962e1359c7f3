// Stand-in for the critical section: a recursive pthread mutex, so the
// runtime behaves the same in the native and fuzz builds.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

#include "runtime/tracked_lock.h"

struct TrackedLock {
  uintptr_t owner;
  pthread_mutex_t section;
};

namespace {
TrackedLock g_process_instance;
}

TrackedLock* tracked_lock_process_instance() { return &g_process_instance; }

void tracked_lock_initialise(TrackedLock* lock) {
  lock->owner = 0;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->section, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void tracked_lock_enter(TrackedLock* lock) {
  pthread_mutex_lock(&lock->section);
  __atomic_store_n(&lock->owner, tracked_lock_current_thread(), __ATOMIC_RELAXED);
}

void tracked_lock_leave(TrackedLock* lock) {
  __atomic_store_n(&lock->owner, uintptr_t(0), __ATOMIC_RELAXED);
  pthread_mutex_unlock(&lock->section);
}

void tracked_lock_delete(TrackedLock* lock) { pthread_mutex_destroy(&lock->section); }

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

uintptr_t tracked_lock_current_thread() { return static_cast<uintptr_t>(syscall(SYS_gettid)); }
