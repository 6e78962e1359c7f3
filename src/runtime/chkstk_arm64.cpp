// __chkstk for ARM64 Windows, which the compiler calls in every function
// whose frame is 4 KiB or more, before it moves sp: Windows commits a
// thread's stack one page at a time, each when the guard page below the
// committed part is touched, so a frame that skips a page would reach
// memory that is not there. The compiler's support library, which brings
// the routine elsewhere, does not exist for this target.
//
// The calling convention is the system's own: x15 holds the frame's size
// divided by 16; each page below sp, down to the frame's end, is touched in
// order from the top; sp is left as it was (the caller moves it); only x16
// and x17 may change.
__asm__(
    ".text\n"
    ".globl __chkstk\n"
    ".p2align 2\n"
    "__chkstk:\n"
    "  lsl x16, x15, #4\n"
    "  mov x17, sp\n"
    "1:\n"
    "  sub x17, x17, #4096\n"
    "  subs x16, x16, #4096\n"
    "  ldr xzr, [x17]\n"
    "  b.gt 1b\n"
    "  ret\n");
