// The texts of the warning box that a failed start shows.
#pragma once

#include <cstdint>

#include "usertext/text_pool.h"

struct FailureMessage {
  const char16_t* title;  // application_name
  const char16_t* text;   // error_running_command with the code and the command line
};

// Both texts, never null, owned by `pool` or static. `command_line` is null
// when it could not be built (memory): the box then shows the fallback text
// of expansion in its place, not a word that reads like a missing argument.
FailureMessage failure_message(TextPool* pool, uint32_t error, const char16_t* command_line);
