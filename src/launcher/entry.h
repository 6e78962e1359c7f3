// The launcher's main routine: runs once, straight through, after the
// static initializers, and returns the process exit code.
#pragma once

#include <cstdint>

[[nodiscard]] uint32_t run_launcher();
