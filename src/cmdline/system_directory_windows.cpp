// The current directory and a drive's current directory, in an object of
// their own: a launcher that resolves no path links neither them nor their
// imports.
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
