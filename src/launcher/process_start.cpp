// The launchers' process entry point, in place of the C runtime's start-up
// object. That object brings thread-local-storage callbacks, pseudo-relocation
// processing, argument parsing into argc/argv and floating-point set-up, none
// of which these programs use, and it is the largest single part of a small
// static program. This entry does what the launchers need of it: set up the
// process-wide protections, run the static initializers (the start-up
// sequence), run the launcher, and leave through the C runtime's exit so
// that the at-exit list runs in reverse order of registration.
#include <cstddef>
#include <cstdlib>

#include "launcher/entry.h"
#include "launcher/startup_trace.h"
#include "runtime/process_hardening.h"

// The linker's list of static initializers: a count (or -1), the
// initializers, then a null entry. They run last to first, as the compiler's
// own start-up code runs them.
using StaticInitializer = void (*)();
extern "C" StaticInitializer __CTOR_LIST__[];

namespace {

void run_static_initializers() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

}  // namespace

// The stack is realigned at the entry because the system does not promise
// the compiler's alignment on 32-bit Windows. On ARM64 the system enters with
// the 16-byte alignment that every access through sp needs.
#if defined(__aarch64__)
#define REALIGNED_ENTRY
#else
#define REALIGNED_ENTRY force_align_arg_pointer,
#endif

// The process entry (see the link options). It runs before the stack guard
// has its value, so it is not guarded itself.
extern "C" __attribute__((REALIGNED_ENTRY noreturn, no_stack_protector)) void launcher_process_start() {
  // First of all, before any code of the start-up sequence can make a system
  // DLL load another by name: a launcher lies in folders its users can
  // write to, and a DLL planted there must never run in it.
  STARTUP_STEP("dll_search_system32");
  // Where the system lacks the call, the search stays as it was.
  (void)limit_dll_search_to_system32();
  seed_stack_guard();
  run_static_initializers();
  STARTUP_STEP("entry begins");
  uint32_t exit_code = run_launcher();
  STARTUP_STEP("entry ends");
  exit(int(exit_code));
}
