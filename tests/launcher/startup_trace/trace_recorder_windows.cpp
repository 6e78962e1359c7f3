// The recorder of the start-up trace build: the start-up steps, every
// at-exit registration, and every at-exit cleanup as it runs. Lines go to
// the file named by STARTUP_TRACE_FILE (appended, so the at-exit lines
// written while the process ends are kept). With STARTUP_TRACE_PLANTED_DLL
// naming a DLL planted beside the launcher, each step also tells whether
// that DLL loads by its bare name at that moment.
//
// This file also takes the place of the runtime's at_exit_register: each
// cleanup is registered with the C runtime through a trampoline that writes
// its name before it runs it.
#include <windows.h>

#include <cstdlib>

#include "cmdline/process_info_cache.h"
#include "framework/signal_hub.h"
#include "launcher/startup_trace.h"
#include "runtime/at_exit.h"
#include "runtime/process_lock.h"
#include "support/recorded_line_windows.h"
#include "usertext/catalog.h"

namespace {

void write_pair(const char* what, const char* name, const char* note = "") {
  char line[128];
  lstrcpyA(line, what);
  lstrcatA(line, name);
  lstrcatA(line, note);
  append_recorded_line(L"STARTUP_TRACE_FILE", line);
}

const char* planted_dll_note() {
  wchar_t name[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"STARTUP_TRACE_PLANTED_DLL", name, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  HMODULE planted = LoadLibraryW(name);
  if (!planted) return " (planted DLL refused)";
  FreeLibrary(planted);
  return " (planted DLL loads)";
}

// Names of the cleanups the runtime registers; the process lock's deletion
// is private to its file and is recognised by its effect.
const char* cleanup_name(AtExitCleanup cleanup) {
  if (cleanup == TeardownSignalHub) return "signal_hub";
  if (cleanup == ReleaseUsertextCatalog) return "usertext_catalog";
  if (cleanup == cache_reset) return "process_info_cache";
  return "other";
}

constexpr int kSlots = 8;
AtExitCleanup g_cleanups[kSlots];
int g_count = 0;

template <int K>
int trampoline() {
  AtExitCleanup cleanup = g_cleanups[K];
  const char* name = cleanup_name(cleanup);
  bool lock_was_live = !process_lock_destroyed_for_testing();
  int result = cleanup();
  if (name[0] == 'o' && lock_was_live && process_lock_destroyed_for_testing()) name = "process_lock";
  write_pair("exit: ", name);
  return result;
}

const AtExitCleanup kTrampolines[kSlots] = {trampoline<0>, trampoline<1>, trampoline<2>, trampoline<3>,
                                            trampoline<4>, trampoline<5>, trampoline<6>, trampoline<7>};

}  // namespace

void startup_trace_step(const char* name) { write_pair("step: ", name, planted_dll_note()); }

int at_exit_register(AtExitCleanup cleanup) {
  if (g_count >= kSlots) return -1;
  g_cleanups[g_count] = cleanup;
  const char* name = cleanup_name(cleanup);
  write_pair("register: ", name[0] == 'o' ? "unnamed" : name);
  return _onexit(kTrampolines[g_count++]) ? 0 : -1;
}
