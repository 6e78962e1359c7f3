// Start-up tracing, compiled only into the trace build of a launcher (built
// with LAUNCHERS_STARTUP_TRACE, never a deliverable): each start-up step, the
// entry's begin and end, and each at-exit registration and cleanup are
// recorded, so a test can check their order. Elsewhere a step is nothing.
#pragma once

#ifdef LAUNCHERS_STARTUP_TRACE
void startup_trace_step(const char* name);
#define STARTUP_STEP(name) startup_trace_step(name)
#else
#define STARTUP_STEP(name) ((void)0)
#endif
