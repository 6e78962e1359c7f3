// Registration with the C runtime's at-exit list. Cleanups run after the
// entry returns, in the reverse order of their registration; each
// process-wide resource registers its own cleanup when it first comes to
// life. Windows uses the runtime's _onexit; the native build uses atexit.
#pragma once

using AtExitCleanup = int (*)();

// The runtime's answer (0 registered, -1 refused); a refused cleanup never
// runs, and the resource lives until the process ends.
[[nodiscard]] int at_exit_register(AtExitCleanup cleanup);
