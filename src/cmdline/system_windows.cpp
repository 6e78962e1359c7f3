#include <windows.h>

#include "cmdline/system.h"
#include "text/wchar_cast.h"

uint32_t system_current_directory(char16_t* dest, uint32_t capacity) {
  return GetCurrentDirectoryW(capacity, to_wchar(dest));
}

uint32_t system_drive_full_path(char16_t drive, char16_t* dest, uint32_t capacity) {
  const wchar_t relative[4] = {static_cast<wchar_t>(drive), L':', L'.', 0};
  return GetFullPathNameW(relative, capacity, to_wchar(dest), nullptr);
}

uint32_t system_module_file_name(char16_t* dest, uint32_t capacity) {
  return GetModuleFileNameW(nullptr, to_wchar(dest), capacity);
}

char16_t* system_environment_strings() { return from_wchar(GetEnvironmentStringsW()); }

void system_free_environment_strings(char16_t* block) {
  if (block) FreeEnvironmentStringsW(to_wchar(block));
}
