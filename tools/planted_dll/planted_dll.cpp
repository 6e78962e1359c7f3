// A DLL that records its own loading: when a process loads it, it creates
// the file "<its own path>.loaded" beside itself. Tests plant copies of it,
// under the names of DLLs that the system loads by name, beside a program
// that must never load a DLL from its own folder; any such file shows that
// the program did.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyW(path + length, L".loaded");
  HANDLE record = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (record != INVALID_HANDLE_VALUE) CloseHandle(record);
  return TRUE;
}
