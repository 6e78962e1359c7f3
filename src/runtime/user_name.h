// The name of the user the process runs as, and its copy in the process info
// cache. Windows only.
#pragma once

#include <cstddef>

// Writes the user name into `buffer` as wcsncpy would with `size` units (the
// rest zero-filled) and then zeroes unit size-1, so a long name is cut. A null
// buffer or a size of 0 only measures. Returns the name's full length in
// units without the terminator. A name that GetUserNameW cannot give in 200
// units, or an empty one, reads as "?".
size_t QueryUserName(char16_t* buffer, size_t size);

// The start-up step: stores a copy of the name in the process info cache's
// user-name slot (its default "?" when no memory is left). A slot that is
// already filled keeps its value.
void InitCachedUserName();
