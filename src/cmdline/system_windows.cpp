// The platform's command-line splitter, the program's own file and the
// environment strings. The current directories live in
// system_directory_windows.cpp: only path resolution against them needs
// their imports.
#include <windows.h>
#include <shellapi.h>

#include "cmdline/argument_block.h"
#include "cmdline/system.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

uint32_t system_module_file_name(char16_t* dest, uint32_t capacity) {
  return GetModuleFileNameW(nullptr, to_wchar(dest), capacity);
}

char16_t* system_environment_strings() { return from_wchar(GetEnvironmentStringsW()); }

void system_free_environment_strings(char16_t* block) {
  if (block) FreeEnvironmentStringsW(to_wchar(block));
}

char16_t** system_split_command_line(const char16_t* line, int32_t* count) {
  int n = 0;
  LPWSTR* parts = CommandLineToArgvW(to_wchar(line), &n);
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
