#include "cmdline/split.h"

#include <cstdint>
#include <cstdlib>

#include "cmdline/argument_block.h"
#include "cmdline/path.h"
#include "cmdline/system.h"
#include "text/checked_size.h"
#include "text/wide.h"

namespace {

inline bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

// Walks `text` with the platform's rules. With `argv` and `chars` null it
// only counts arguments and the units they need (terminators included);
// otherwise it writes the arguments and their pointers.
void scan_arguments(const char16_t* text, char16_t** argv, char16_t* chars, size_t* count, size_t* units) {
  size_t n = 0;
  size_t used = 0;
  auto put = [&](char16_t c) {
    if (chars) chars[used] = c;
    ++used;
  };
  auto begin = [&]() {
    if (argv) argv[n] = chars + used;
    ++n;
  };

  // Element 0, the program name: quotes are not escapes here. A leading
  // quote runs the name to the next quote; otherwise it ends at white space.
  const char16_t* s = text;
  begin();
  if (*s == u'"') {
    ++s;
    while (*s && *s != u'"') put(*s++);
    if (*s == u'"') ++s;
  } else {
    while (*s && !is_blank(*s)) put(*s++);
  }
  put(0);

  while (is_blank(*s)) ++s;
  while (*s) {
    begin();
    bool quoted = false;
    // A run of backslashes is held as a count until the unit after it
    // decides what it means.
    size_t backslashes = 0;
    auto put_backslashes = [&](size_t k) {
      for (size_t i = 0; i < k; ++i) put(u'\\');
      backslashes = 0;
    };
    while (*s && (quoted || !is_blank(*s))) {
      char16_t c = *s;
      if (c == u'\\') {
        ++backslashes;
        ++s;
      } else if (c == u'"') {
        // 2n backslashes before a quote give n and the quote is syntax;
        // 2n+1 give n and a literal quote.
        bool literal = backslashes & 1;
        put_backslashes(backslashes / 2);
        if (literal) {
          put(u'"');
          ++s;
        } else if (quoted && s[1] == u'"') {
          // "" inside a quoted region: a literal quote, and the region ends.
          put(u'"');
          quoted = false;
          s += 2;
        } else {
          quoted = !quoted;
          ++s;
        }
      } else {
        put_backslashes(backslashes);
        put(c);
        ++s;
      }
    }
    put_backslashes(backslashes);
    put(0);
    while (is_blank(*s)) ++s;
  }
  if (argv) argv[n] = nullptr;
  *count = n;
  *units = used;
}

// New text: a quote, the prefix, a quote, a space and `text` (null reads as
// empty), so that the prefix becomes element 0 unchanged. Null when memory
// is lacking.
char16_t* prefixed_command_line(const char16_t* prefix, const char16_t* text) {
  size_t prefix_length = wide_length(prefix);
  size_t text_length = wide_length(text);
  size_t units;
  if (!checked_add(prefix_length, text_length, &units) || !checked_add(units, 4, &units)) return nullptr;
  char16_t* line = wide_alloc(nullptr, units);
  if (!line) return nullptr;
  char16_t* out = line;
  *out++ = u'"';
  wide_move(out, prefix, prefix_length);
  out += prefix_length;
  *out++ = u'"';
  *out++ = u' ';
  wide_move(out, text, text_length);
  out[text_length] = 0;
  return line;
}

}  // namespace

char16_t** split_command_line_portable(const char16_t* prefix, const char16_t* text, int32_t* count) {
  if (count) *count = 0;
  char16_t* owned = nullptr;
  const char16_t* line = wide_or_empty(text);
  char16_t module[kPathWorkUnits];
  if (prefix) {
    owned = prefixed_command_line(prefix, text);
    if (!owned) return nullptr;
    line = owned;
  } else if (*line == 0) {
    // An empty command line stands for the program alone, like the
    // platform's splitter answers it.
    uint32_t n = system_module_file_name(module, kPathWorkUnits);
    if (n == 0 || n >= kPathWorkUnits) return nullptr;
    module[n] = 0;
    char16_t* chars = nullptr;
    char16_t** block = allocate_argument_block(1, n + 1, &chars);
    if (!block) return nullptr;
    wide_move(chars, module, n + 1);
    block[0] = chars;
    block[1] = nullptr;
    if (count) *count = 1;
    return block;
  }
  size_t n = 0;
  size_t units = 0;
  scan_arguments(line, nullptr, nullptr, &n, &units);
  char16_t* chars = nullptr;
  char16_t** block = allocate_argument_block(n, units, &chars);
  if (block) {
    scan_arguments(line, block, chars, &n, &units);
    if (count) *count = static_cast<int32_t>(n);
  }
  wide_free(owned);
  return block;
}

char16_t** split_command_line(const char16_t* prefix, const char16_t* text, int32_t* count) {
  if (count) *count = 0;
  char16_t* owned = nullptr;
  const char16_t* line = wide_or_empty(text);
  if (prefix) {
    owned = prefixed_command_line(prefix, text);
    if (!owned) return nullptr;
    line = owned;
  }
  char16_t** block = system_split_command_line(line, count);
  wide_free(owned);
  return block;
}
