#include "cmdline/quote.h"

#include <cstdint>

#include "text/checked_size.h"
#include "text/wide.h"

namespace {

// A tab separates arguments just like a space when the child splits its
// command line, so both must be enclosed.
bool needs_quotes(const char16_t* argument) {
  if (*argument == 0) return true;
  for (const char16_t* p = argument; *p; ++p) {
    if (*p == u' ' || *p == u'\t') return true;
  }
  return false;
}

// Writes `count` copies of `unit` when `out` is given; returns the new
// position either way.
char16_t* put_repeated(char16_t* out, char16_t unit, size_t count) {
  if (out) {
    for (size_t i = 0; i < count; ++i) *out++ = unit;
  }
  return out;
}

}  // namespace

size_t quote_argument(const char16_t* argument, bool force_quotes, char16_t* out) {
  argument = wide_or_empty(argument);
  const bool enclosed = force_quotes || needs_quotes(argument);
  size_t length = 0;
  if (enclosed) {
    out = put_repeated(out, u'"', 1);
    ++length;
  }
  // Backslashes are literal unless a quote follows them; `run` counts the
  // ones just written so they can be doubled before a quote (or before the
  // closing quote).
  size_t run = 0;
  for (const char16_t* p = argument; *p; ++p) {
    if (*p == u'\\') {
      ++run;
    } else if (*p == u'"') {
      out = put_repeated(out, u'\\', run + 1);
      length += run + 1;
      run = 0;
    } else {
      run = 0;
    }
    out = put_repeated(out, *p, 1);
    ++length;
  }
  if (enclosed) {
    out = put_repeated(out, u'\\', run);
    put_repeated(out, u'"', 1);
    length += run + 1;
  }
  return length;
}

namespace {

// Element 0, the program, is split by different rules: it runs from its
// opening quote to the next quote and backslashes in it are literal. So it
// is written between quotes exactly as it is; doubling a trailing backslash
// there would change the program's name. (A quote inside it cannot be
// carried by any command line.) This is a deliberate difference from
// escaping element 0 like every other element, which would give the same
// text for every path without a trailing backslash or a quote, and a wrong
// program name for the others.
size_t quote_program(const char16_t* program, char16_t* out) {
  size_t length = wide_length(program);
  if (out) {
    out[0] = u'"';
    wide_move(out + 1, program, length);
    out[length + 1] = u'"';
  }
  return length + 2;
}

}  // namespace

char16_t* join_command_line(const char16_t* const* argv) {
  size_t total = 0;
  size_t count = 0;
  if (argv) {
    for (; argv[count]; ++count) {
      size_t piece = count ? quote_argument(argv[count], false, nullptr) + 1 : quote_program(argv[0], nullptr);
      if (!checked_add(total, piece, &total)) return nullptr;
    }
  }
  // wide_alloc refuses a capacity whose byte size does not fit.
  if (!checked_add(total, 1, &total)) return nullptr;
  char16_t* line = wide_alloc(nullptr, total);
  if (!line) return nullptr;
  char16_t* out = line;
  for (size_t i = 0; i < count; ++i) {
    if (i) {
      *out++ = u' ';
      out += quote_argument(argv[i], false, out);
    } else {
      out += quote_program(argv[0], out);
    }
  }
  *out = 0;
  return line;
}
