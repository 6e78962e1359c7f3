// A program with the launchers' stack protection whose one guarded function
// writes past the end of its local array: the guard must end the process
// at once, through the fast fail (brk #0xF003 on ARM64), with
// STATUS_STACK_BUFFER_OVERRUN, before the overwritten frame is used. The
// ARM64 end-to-end check runs it (arm64_e2e_test.py).
#include <windows.h>

#include <stddef.h>

#include "runtime/process_hardening.h"

namespace {

// Read at run time, so that the compiler cannot see the overrun coming.
volatile size_t g_overrun = 64;

__attribute__((noinline)) char fill_past_the_end() {
  char local[16];
  for (size_t i = 0; i < sizeof local + g_overrun; ++i) local[i] = 'x';
  return local[0];
}

}  // namespace

extern "C" __attribute__((noreturn, no_stack_protector)) void breaker_process_start() {
  seed_stack_guard();
  char first = fill_past_the_end();
  // Reached only when the guard did not hold.
  ExitProcess(UINT(first));
}
