// The signal hub: sticky signal flags with one manual-reset event, and the
// console control handler.
#include "framework/signal_hub.h"

#include "runtime/at_exit.h"

SignalHub g_signal_hub;

bool hub_enter() {
  SignalHub& hub = g_signal_hub;
  // Announce first, then look: a teardown that starts later waits for us, and
  // one that started earlier is seen here (both sides are sequentially
  // consistent).
  hub.users.fetch_add(1);
  if (!hub.initialised.load() || hub.torn_down.load()) {
    hub.users.fetch_sub(1);
    return false;
  }
  EnterCriticalSection(&hub.lock);
  return true;
}

void hub_leave() {
  LeaveCriticalSection(&g_signal_hub.lock);
  g_signal_hub.users.fetch_sub(1);
}

bool hub_users_left_within(DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (unsigned round = 0; g_signal_hub.users.load() != 0; ++round) {
    if (GetTickCount() - start >= timeout_ms) return false;
    // Threads in the hub leave within microseconds: yield first, then sleep.
    Sleep(round < 100 ? 0 : 1);
  }
  return true;
}

void RaiseSignal(int n) {
  if (n < 1 || n > kSignalCount) return;
  SignalHub& hub = g_signal_hub;
  // A repeated signal costs no lock.
  if (hub.flags[n - 1].load(std::memory_order_acquire)) return;
  if (!hub_enter()) return;
  if (!hub.flags[n - 1].load(std::memory_order_relaxed)) {
    hub.flags[n - 1].store(true, std::memory_order_release);
    // The teardown closes it only once every thread has left the hub.
    if (hub.signalEvent) SetEvent(hub.signalEvent);
  }
  hub_leave();
}

void InitSignalHub() {
  SignalHub& hub = g_signal_hub;
  if (hub.initialised.load()) return;
  InitializeCriticalSection(&hub.lock);
  // A failure leaves the event null; the flags still work.
  hub.signalEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  hub.initialised.store(true);
  // Refused, the hub is never torn down: it lives until the process ends.
  (void)at_exit_register(TeardownSignalHub);
}

int TeardownSignalHub() {
  SignalHub& hub = g_signal_hub;
  if (!hub.initialised.load() || hub.torn_down.load()) return 0;
  if (hub.consoleHandlerInstalled.load()) SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE);
  // From here on nobody gets in (see hub_enter). A console handler still on
  // its way through the hub finishes under the lock and leaves; a count that
  // never falls belongs to a thread that was ended inside the hub. Exit must
  // not wait for it: the event and the lock, which that thread may still
  // name, are then left to the end of the process.
  hub.torn_down.store(true);
  if (!hub_users_left_within(kHubTeardownWaitMs)) return 0;
  if (hub.signalEvent) {
    CloseHandle(hub.signalEvent);
    hub.signalEvent = nullptr;
  }
  DeleteCriticalSection(&hub.lock);
  return 0;
}

void InstallConsoleHandler() {
  InitSignalHub();
  SignalHub& hub = g_signal_hub;
  if (!hub_enter()) return;
  if (!hub.consoleHandlerInstalled.load()) {
    hub.consoleHandlerInstalled.store(true);
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
  }
  hub_leave();
}

BOOL WINAPI ConsoleCtrlHandler(DWORD ctrlType) {
  switch (ctrlType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      RaiseSignal(kSignalStop);
      return TRUE;  // claimed: the default handler would end the process
    default: return FALSE;
  }
}
