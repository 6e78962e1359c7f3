#include "runtime/process_lock.h"

#include "runtime/at_exit.h"
#include "runtime/tracked_lock.h"

namespace {

// Plain flags: written only by the thread that runs start-up (which creates
// the lock before any other thread exists) and by the thread that runs the
// at-exit list.
bool g_created = false;
bool g_destroyed = false;

int delete_process_lock() {
  tracked_lock_delete(tracked_lock_process_instance());
  g_destroyed = true;
  return 0;
}

}  // namespace

void AcquireProcessLock() {
  TrackedLock* lock = tracked_lock_process_instance();
  if (!g_created) {
    g_created = true;
    tracked_lock_initialise(lock);
    // Refused, the lock is simply never deleted: it lives until the process ends.
    (void)at_exit_register(delete_process_lock);
  } else if (g_destroyed) {
    return;
  }
  tracked_lock_enter(lock);
}

void ReleaseProcessLock() {
  if (g_destroyed || !g_created) return;
  tracked_lock_leave(tracked_lock_process_instance());
}

void process_lock_startup() {
  AcquireProcessLock();
  ReleaseProcessLock();
}

uintptr_t process_lock_owner_for_testing() {
  if (!g_created || g_destroyed) return 0;
  return tracked_lock_owner_for_testing(tracked_lock_process_instance());
}

bool process_lock_destroyed_for_testing() { return g_destroyed; }
