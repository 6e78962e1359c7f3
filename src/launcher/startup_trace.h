// Start-up tracing, compiled only into the trace build of a launcher (not
// the shipped ones): each start-up step and each at-exit registration and
// cleanup is recorded, so a test can check their order.
#pragma once

void startup_trace_step(const char* name);
