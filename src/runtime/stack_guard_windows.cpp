#include "runtime/process_hardening.h"

#include <windows.h>

#include "runtime/handles.h"

// The compiler's stack protection (-fstack-protector-strong) compares a copy
// of this value, stored in each guarded frame, before the function returns.
// Defined here rather than taken from the compiler's support library, whose
// version on Windows prints to the standard error handle and, lacking
// /dev/urandom, reads its seed from a file any user could create. It starts
// as zero (in the zero-filled section, which costs the programs no section
// of its own); programs other than the launchers keep that value, which
// still catches a frame overwritten with anything but zeros.
extern "C" {
uintptr_t __stack_chk_guard;

// An overwritten guard: the frame's return address can no longer be trusted,
// so the process ends at once, without unwinding, handlers or output.
// The fast fail (what the __fastfail intrinsic emits: interrupt 0x29 on x86,
// break 0xF003 on ARM64, the code in the first argument register) reaches
// the system's error reporting on Windows 8 and later; where it is unknown,
// the process is ended directly.
__attribute__((noreturn)) void __stack_chk_fail() {
#if defined(__aarch64__)
  register uintptr_t code __asm__("x0") = FAST_FAIL_STACK_COOKIE_CHECK_FAILURE;
  __asm__ volatile("brk #0xF003" : : "r"(code) : "memory");
#else
  __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
#endif
  TerminateProcess(current_process_handle(), STATUS_STACK_BUFFER_OVERRUN);
  for (;;) {
  }
}
}

// A counter that runs fast: the processor's time-stamp counter on x86, the
// virtual counter on ARM64, which Windows lets programs read.
#if defined(__aarch64__)
namespace {
__attribute__((no_stack_protector)) inline uint64_t virtual_counter() {
  uint64_t ticks;
  __asm__ volatile("mrs %0, cntvct_el0" : "=r"(ticks));
  return ticks;
}
}  // namespace
#define FAST_COUNTER() virtual_counter()
#else
#define FAST_COUNTER() __builtin_ia32_rdtsc()
#endif

// Mixes what differs between processes and runs: the fast counter, the
// system time (read where every process sees it, at the fixed address of
// the system's shared user data, so that it costs no import), the tick
// count, the thread id and, with address randomisation, stack and image
// addresses. No call here may need the guard.
__attribute__((no_stack_protector)) void seed_stack_guard() {
  const volatile uint64_t* system_time = reinterpret_cast<const volatile uint64_t*>(0x7FFE0014);
  uint64_t seed = FAST_COUNTER() ^ *system_time;
  seed ^= uint64_t(GetCurrentThreadId()) << 32 ^ GetTickCount();
  seed ^= uint64_t(uintptr_t(&seed)) << 16 ^ uint64_t(uintptr_t(&__stack_chk_guard));
  // A final mix spreads every bit over the whole value (splitmix64).
  seed = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  seed = (seed ^ (seed >> 27)) * 0x94D049BB133111EBULL;
  seed ^= seed >> 31;
  // A zero low byte stops string copies at the guard.
  __stack_chk_guard = uintptr_t(seed) & ~uintptr_t(0xFF);
}
