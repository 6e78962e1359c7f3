// The program's own file and the environment strings. The current
// directories live in system_directory_windows.cpp: only path resolution
// against them needs their imports.
#include <windows.h>

#include "cmdline/system.h"
#include "text/wchar_cast.h"

uint32_t system_module_file_name(char16_t* dest, uint32_t capacity) {
  return GetModuleFileNameW(nullptr, to_wchar(dest), capacity);
}

char16_t* system_environment_strings() { return from_wchar(GetEnvironmentStringsW()); }

void system_free_environment_strings(char16_t* block) {
  if (block) FreeEnvironmentStringsW(to_wchar(block));
}
