#include "cmdline/split.h"

// Without the platform's splitter the portable rules do the work.
char16_t** split_command_line(const char16_t* prefix, const char16_t* text, int32_t* count) {
  return split_command_line_portable(prefix, text, count);
}
