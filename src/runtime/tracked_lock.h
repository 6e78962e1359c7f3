// TrackedLock: a recursive lock (a critical section on Windows, a recursive
// pthread mutex in the native build) with an owner word that names the
// thread that last entered it, 0 after a leave. The owner word is only for
// inspection while debugging or testing; nothing decides anything by it.
#pragma once

#include <cstdint>

// Defined by the platform file, where the section type is known.
struct TrackedLock;

// The one lock in static storage that the process lock uses; not
// initialised until tracked_lock_initialise.
TrackedLock* tracked_lock_process_instance();

void tracked_lock_initialise(TrackedLock* lock);
void tracked_lock_enter(TrackedLock* lock);
void tracked_lock_leave(TrackedLock* lock);
void tracked_lock_delete(TrackedLock* lock);

// The id that the owner word records for the calling thread; never 0.
uintptr_t tracked_lock_current_thread();

// For tests only: the owner word, and a new, initialised lock of a test's
// own from malloc (null when memory is lacking) with its release (delete,
// then free; null is ignored).
uintptr_t tracked_lock_owner_for_testing(const TrackedLock* lock);
[[nodiscard]] TrackedLock* tracked_lock_create_for_testing();
void tracked_lock_destroy_for_testing(TrackedLock* lock);
