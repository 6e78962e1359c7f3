// Writing an argument vector as one command line that the splitting rules
// give back element for element.
#pragma once

#include <cstddef>

// Units the quoted argument takes (no terminator). With a null `out` it only
// measures; otherwise it writes exactly that many units. An argument is
// enclosed in quotes when forced, empty, or containing a space or a tab.
size_t quote_argument(const char16_t* argument, bool force_quotes, char16_t* out);

// New command line for a null-terminated vector, one space between
// elements; caller frees with wide_free. Element 0 is always enclosed in
// quotes and written as it is (the splitting rules take it literally up to
// the next quote, so it must not hold a quote). Null when memory is lacking
// or the length cannot be represented.
[[nodiscard]] char16_t* join_command_line(const char16_t* const* argv);
