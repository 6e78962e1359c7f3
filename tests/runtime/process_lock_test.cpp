// The process lock and the tracked lock it is made of. What happens after
// the exit step is seen by the at-exit probe program, at a real exit.
#include "runtime/process_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/tracked_lock.h"
#include "support/test_support.h"

namespace {

using Enter = void (*)(void*);
using Leave = void (*)(void*);
using Owner = uintptr_t (*)(void*);

// Drives one recursive lock through enter/leave/owner. `other_entered`
// shows whether a second thread got in; a thread that must stay out is
// given a moment to try (it can only be seen to get in, never to fail).
void check_recursion(void* lock, Enter enter, Leave leave, Owner owner) {
  const uintptr_t me = tracked_lock_current_thread();
  EXPECT_NE(me, 0u);
  EXPECT_EQ(owner(lock), 0u);
  enter(lock);
  EXPECT_EQ(owner(lock), me);
  enter(lock);
  EXPECT_EQ(owner(lock), me);
  leave(lock);
  // The owner word is cleared by every leave, even one that keeps the lock.
  EXPECT_EQ(owner(lock), 0u);

  std::atomic<int> stage{0};
  uintptr_t other_id = 0;
  std::thread other([&] {
    other_id = 0;
    stage = 1;
    enter(lock);
    other_id = tracked_lock_current_thread();
    stage = 2;
    leave(lock);
  });
  while (stage.load() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(stage.load(), 1) << "another thread entered while the lock was still held once";
  leave(lock);
  other.join();
  EXPECT_EQ(stage.load(), 2);
  EXPECT_NE(other_id, me);
  EXPECT_EQ(owner(lock), 0u);
}

TEST(RuntimeTrackedLock, RecursionAndOwnerWord) {
  TrackedLock* lock = tracked_lock_create_for_testing();
  ASSERT_NE(lock, nullptr);
  check_recursion(
      lock, [](void* l) { tracked_lock_enter(static_cast<TrackedLock*>(l)); },
      [](void* l) { tracked_lock_leave(static_cast<TrackedLock*>(l)); },
      [](void* l) { return tracked_lock_owner_for_testing(static_cast<TrackedLock*>(l)); });
  tracked_lock_destroy_for_testing(lock);
  tracked_lock_destroy_for_testing(nullptr);
}

TEST(RuntimeProcessLock, RecursionAndOwnerWord) {
  process_lock_startup();
  EXPECT_FALSE(process_lock_destroyed_for_testing());
  check_recursion(
      nullptr, [](void*) { AcquireProcessLock(); }, [](void*) { ReleaseProcessLock(); },
      [](void*) { return process_lock_owner_for_testing(); });
  // Start-up again finds the lock made and leaves it free.
  process_lock_startup();
  EXPECT_EQ(process_lock_owner_for_testing(), 0u);
}

TEST(RuntimeProcessLock, ThreadsTakeTurns) {
  process_lock_startup();
  // A plain counter changed only under the lock: lost updates would show.
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      AcquireProcessLock();
      AcquireProcessLock();
      long seen = counter;
      counter = seen + 1;
      ReleaseProcessLock();
      ReleaseProcessLock();
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(counter, 60000);
  EXPECT_EQ(process_lock_owner_for_testing(), 0u);
}

}  // namespace
