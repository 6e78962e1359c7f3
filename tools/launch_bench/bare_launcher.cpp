// Reference launcher for the launch-cost benchmark: the physical limit. It
// only starts tavrin.exe beside itself with CreateProcessW and waits.
#include <windows.h>

int run() {
  wchar_t path[MAX_PATH + 16];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  while (n > 0 && path[n - 1] != L'\\') --n;
  lstrcpyW(path + n, L"tavrin.exe");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    return int(GetLastError());
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  return 1;
}

// The process entry, without the C runtime's start-up (the real launchers
// have none either, so its cost is not counted against them). Realigned as
// theirs on x86 (see src/launcher/process_start.cpp).
#if defined(__aarch64__)
#define REALIGNED_ENTRY
#else
#define REALIGNED_ENTRY force_align_arg_pointer,
#endif
extern "C" __attribute__((REALIGNED_ENTRY noreturn)) void bench_process_start() { ExitProcess(UINT(run())); }
