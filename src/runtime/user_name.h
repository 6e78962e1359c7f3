// The name of the user the process runs as. Windows only. Its copy in the
// process info cache is made by init_cached_user_name (cmdline).
#pragma once

#include <cstddef>

// Writes the user name into `buffer` as wcsncpy would with `size` units (the
// rest zero-filled) and then zeroes unit size-1, so a long name is cut. A null
// buffer or a size of 0 only measures. Returns the name's full length in
// units without the terminator. A name that GetUserNameW cannot give in 200
// units, or an empty one, reads as "?".
size_t QueryUserName(char16_t* buffer, size_t size);

// The capacity, terminator included, in which the name is read.
constexpr size_t kUserNameCapacity = 200;
