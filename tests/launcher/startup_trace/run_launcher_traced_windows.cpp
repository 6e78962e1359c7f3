// The trace build's main routine: the launcher's own, with a line written
// before and after it so the trace shows where the entry ran.
#include "launcher/entry.h"
#include "launcher/startup_trace.h"

uint32_t run_launcher_untraced();

uint32_t run_launcher() {
  startup_trace_step("entry begins");
  uint32_t code = run_launcher_untraced();
  startup_trace_step("entry ends");
  return code;
}
