// Pieces shared by the platform splitter and the portable one.
#pragma once

#include <cstddef>

// New text: a quote, the prefix, a quote, a space and `text` (null reads as
// empty), so that the prefix becomes element 0 unchanged. Null when memory
// is lacking. Caller frees with wide_free.
char16_t* prefixed_command_line(const char16_t* prefix, const char16_t* text);

// One malloc block with room for count + 1 pointers followed by `units`
// characters; *chars receives the start of the character area. Null when
// the size cannot be represented, count exceeds the 32-bit count, or memory
// is lacking.
char16_t** allocate_argument_block(size_t count, size_t units, char16_t** chars);
