// Linked into test builds of the launchers (never the deliverables) that
// take the start-up path every ordinary start takes on Windows, where
// StartServiceCtrlDispatcherW fails at once with 1063
// (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) when the service control manager
// did not start the process. Under Wine the call blocks for seconds while
// some service process runs, so there the launchers end it by force.
//
// The entries below take the place of the system functions' slots in the
// program's import table: the launcher's calls go through these slots, and
// the import library's own entries are then not linked. The dispatcher call
// refuses at once; TerminateThread and SetThreadPriority, which only a
// forced end of the dispatcher thread calls, are passed on to kernel32 and
// recorded, one line each, in the file that LAUNCHER_CALL_TRACE names.
#include <windows.h>

#include "support/recorded_line_windows.h"

namespace {

void record(const char* line) { append_recorded_line(L"LAUNCHER_CALL_TRACE", line); }

template <typename Function>
Function kernel32_function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

BOOL WINAPI refuse_dispatcher(const SERVICE_TABLE_ENTRYW*) {
  record("StartServiceCtrlDispatcherW refused with 1063");
  SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  return FALSE;
}

BOOL WINAPI recorded_terminate_thread(HANDLE thread, DWORD code) {
  record("TerminateThread");
  return kernel32_function<decltype(&TerminateThread)>("TerminateThread")(thread, code);
}

BOOL WINAPI recorded_set_thread_priority(HANDLE thread, int priority) {
  record("SetThreadPriority");
  return kernel32_function<decltype(&SetThreadPriority)>("SetThreadPriority")(thread, priority);
}

}  // namespace

#ifdef _WIN64
#define IMPORT_SLOT(name, bytes) __asm__("__imp_" #name)
#else
#define IMPORT_SLOT(name, bytes) __asm__("__imp__" #name "@" #bytes)
#endif

extern "C" {
decltype(&refuse_dispatcher) launcher_dispatcher_slot IMPORT_SLOT(StartServiceCtrlDispatcherW, 4) = refuse_dispatcher;
decltype(&recorded_terminate_thread) launcher_terminate_slot IMPORT_SLOT(TerminateThread,
                                                                         8) = recorded_terminate_thread;
decltype(&recorded_set_thread_priority) launcher_priority_slot IMPORT_SLOT(SetThreadPriority,
                                                                           8) = recorded_set_thread_priority;
}
