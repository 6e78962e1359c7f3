// Splitting a command line into an argument array.
//
// The result is one block owned by the caller and released with one free():
// count+1 pointers (the last null) followed by the strings they point to.
#pragma once

#include <cstdint>

// With a prefix, the prefix becomes element 0 unchanged and `text` supplies
// the further elements. The system's splitter does the work
// (system_split_command_line: CommandLineToArgvW on Windows,
// split_command_line_portable in the native stand-in). Null (and
// *count = 0) on any failure. `count` may be null.
[[nodiscard]] char16_t** split_command_line(const char16_t* prefix, const char16_t* text, int32_t* count);

// The same rules implemented here, for any platform: white space (space and
// tab) separates arguments outside quotes; element 0 runs to the next quote
// when it starts with one, else to white space, quotes taken literally;
// 2n backslashes before a quote give n and the quote toggles quoting, 2n+1
// give n and a literal quote; "" inside a quoted region gives a literal
// quote and ends the region.
[[nodiscard]] char16_t** split_command_line_portable(const char16_t* prefix, const char16_t* text, int32_t* count);
