#include "runtime/process_hardening.h"

#include <windows.h>

bool limit_dll_search_to_system32() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  // kernel32 is always loaded; asking for it loads nothing.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (!kernel32) return false;
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  return set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
