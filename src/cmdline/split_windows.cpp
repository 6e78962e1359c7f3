#include <windows.h>
#include <shellapi.h>

#include "cmdline/split.h"
#include "cmdline/split_block.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

char16_t** split_command_line(const char16_t* prefix, const char16_t* text, int32_t* count) {
  if (count) *count = 0;
  char16_t* owned = nullptr;
  const char16_t* line = wide_or_empty(text);
  if (prefix) {
    owned = prefixed_command_line(prefix, text);
    if (!owned) return nullptr;
    line = owned;
  }
  int n = 0;
  LPWSTR* parts = CommandLineToArgvW(to_wchar(line), &n);
  wide_free(owned);
  if (!parts) return nullptr;
  char16_t** block = nullptr;
  if (n >= 0) {
    // Repackage into one block that the caller releases with one free().
    size_t units = 0;
    for (int i = 0; i < n; ++i) units += wide_length(from_wchar(parts[i])) + 1;
    char16_t* chars = nullptr;
    block = allocate_argument_block(static_cast<size_t>(n), units, &chars);
    if (block) {
      for (int i = 0; i < n; ++i) {
        size_t length = wide_length(from_wchar(parts[i]));
        wide_move(chars, from_wchar(parts[i]), length + 1);
        block[i] = chars;
        chars += length + 1;
      }
      block[n] = nullptr;
      if (count) *count = n;
    }
  }
  GlobalFree(parts);
  return block;
}
