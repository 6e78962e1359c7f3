// The process-wide recursive lock that guards the set-once process facts
// (the process info cache). Created during start-up while one thread runs,
// deleted by an at-exit step; afterwards acquiring and releasing do nothing.
#pragma once

#include <cstdint>

// Enters the lock, creating it (and registering its at-exit deletion) on
// first use.
void AcquireProcessLock();
void ReleaseProcessLock();

// The start-up step: makes sure the lock exists before the entry runs.
void process_lock_startup();

// For tests: the id of the thread that holds the lock, 0 when none, and
// whether the exit step has run.
uintptr_t process_lock_owner_for_testing();
bool process_lock_destroyed_for_testing();
