// The one block in which argument and environment arrays are handed out: a
// null-terminated array of pointers followed by the strings they point to,
// released with one free().
#pragma once

#include <cstddef>

// One malloc block with room for count + 1 pointers followed by `units`
// characters; *chars receives the start of the character area. Null when
// the size cannot be represented, count exceeds the 32-bit count, or memory
// is lacking.
[[nodiscard]] char16_t** allocate_argument_block(size_t count, size_t units, char16_t** chars);
