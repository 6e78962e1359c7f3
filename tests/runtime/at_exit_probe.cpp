// Registers cleanups around the process lock and the process info cache,
// returns from main, and lets the cleanups check at exit that they run in
// reverse order of registration: the later registrations first, then the
// cache reset, then the deletion of the process lock, then the first
// registration, which finds the lock gone and still usable as a no-op. The
// last cleanup prints one verdict line.
#include <cstdio>
#include <cstring>

#include "cmdline/process_info_cache.h"
#include "runtime/at_exit.h"
#include "runtime/process_lock.h"
#include "text/wide.h"

namespace {

char g_trace[32];
int g_steps = 0;
bool g_ok = true;

void step(char c) {
  if (g_steps < 31) g_trace[g_steps++] = c;
}

void check(bool condition, const char* what) {
  if (!condition) {
    g_ok = false;
    printf("at-exit probe: %s\n", what);
    fflush(stdout);
  }
}

bool user_name_is(const char16_t* expected) {
  const char16_t* value = static_cast<const char16_t*>(cache_get(kSlotUserName));
  if (!value) return false;
  size_t i = 0;
  for (; value[i] && value[i] == expected[i]; ++i) {
  }
  return value[i] == expected[i];
}

// Registered last: runs first.
int first() {
  step('1');
  check(user_name_is(u"probe"), "cache emptied before later cleanups ran");
  check(!process_lock_destroyed_for_testing(), "lock deleted before later cleanups ran");
  return 0;
}

int second() {
  step('2');
  check(strcmp(g_trace, "12") == 0, "cleanups ran out of order before the cache reset");
  check(user_name_is(u"probe"), "cache emptied too early");
  return 0;
}

// Registered between the lock and the cache: runs after the cache reset and
// before the lock is deleted.
int between() {
  step('3');
  check(user_name_is(u"?") && cache_is_default(kSlotUserName), "cache not reset before the lock was deleted");
  check(!process_lock_destroyed_for_testing(), "lock deleted before the cache was reset");
  AcquireProcessLock();
  check(process_lock_owner_for_testing() != 0, "lock not usable before its deletion");
  ReleaseProcessLock();
  return 0;
}

// Registered before the lock came to life: runs last.
int last() {
  step('4');
  check(strcmp(g_trace, "1234") == 0, "cleanups ran out of reverse registration order");
  check(process_lock_destroyed_for_testing(), "lock not deleted before the earliest cleanup");
  // After the exit step the lock is a no-op: taking it neither blocks nor
  // enters (the owner word stays 0), and releasing it does nothing.
  AcquireProcessLock();
  AcquireProcessLock();
  check(process_lock_owner_for_testing() == 0, "lock entered after its deletion");
  ReleaseProcessLock();
  ReleaseProcessLock();
  ReleaseProcessLock();
  // The cache still answers with its defaults.
  check(user_name_is(u"?"), "cache lost its defaults");
  printf(g_ok ? "AT-EXIT-ORDER-OK %s\n" : "AT-EXIT-ORDER-BAD %s\n", g_trace);
  fflush(stdout);
  return 0;
}

}  // namespace

int main() {
  if (at_exit_register(last) != 0) return 2;
  process_lock_startup();  // registers the deletion of the lock
  if (at_exit_register(between) != 0) return 2;
  // The first store registers the cache reset.
  char16_t* name = wide_dup(u"probe");
  if (cache_store(kSlotUserName, name) != name) return 3;
  if (at_exit_register(second) != 0) return 2;
  if (at_exit_register(first) != 0) return 2;
  printf("at-exit probe: main returns\n");
  fflush(stdout);
  return 0;
}
