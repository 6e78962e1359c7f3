// The service dispatcher probe and the shutdown of the framework's threads.
// Whether the service control manager started the process is found out by
// offering the process to it on a thread of its own.
#include "framework/signal_hub.h"
#include "runtime/handles.h"

namespace {

// Heaps beyond this many (far more than a launcher has) stay unlocked.
constexpr DWORD kMaxLockedHeaps = 64;
// How long the process-wide locks stay held after TerminateThread for the
// ended thread to be gone. TerminateThread only asks for the end: the
// thread may still be running user code on another processor for a moment,
// and must not take a lock once they are given back. The end is carried
// out by the system on the thread itself, at the raised priority it has by
// then, and needs none of the process's locks: it takes microseconds
// (Wine marks the thread ended before TerminateThread returns). This bound
// is thousands of times that; the locks are given back when it runs out,
// since by then the thread is in the system's hands and runs no code of the
// process, while every other thread that allocates (a console control
// handler among them) waits as long as they are held. The rest of the wait
// for its end is the final join, made without them.
constexpr DWORD kTerminatedThreadWaitMs = 50;

wchar_t g_no_service_name[1] = {0};

// For an own-process service the name in the table is not used. The table
// is only read, by the dispatcher.
const SERVICE_TABLE_ENTRYW g_dispatch_table[2] = {
    {g_no_service_name, ServiceMain},
    {nullptr, nullptr},
};

// Undocumented ntdll exports, resolved at run time.
using LoaderLockFunction = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using LoaderUnlockFunction = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
using PebLockFunction = void(NTAPI*)();

// The process-wide locks that a thread ended by force must not own: the
// loader lock, the process environment block's lock and the heaps' locks.
struct ProcessLocks {
  LoaderLockFunction lock_loader;
  LoaderUnlockFunction unlock_loader;
  PebLockFunction acquire_peb;
  PebLockFunction release_peb;
};

template <typename Function>
Function find_export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

ProcessLocks find_process_locks() {
  ProcessLocks locks = {nullptr, nullptr, nullptr, nullptr};
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll) {
    locks.lock_loader = find_export<LoaderLockFunction>(ntdll, "LdrLockLoaderLock");
    locks.unlock_loader = find_export<LoaderUnlockFunction>(ntdll, "LdrUnlockLoaderLock");
    locks.acquire_peb = find_export<PebLockFunction>(ntdll, "RtlAcquirePebLock");
    locks.release_peb = find_export<PebLockFunction>(ntdll, "RtlReleasePebLock");
  }
  return locks;
}

// Under the hub's lock.
void report_service_stopped() {
  SignalHub& hub = g_signal_hub;
  hub.serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  hub.serviceStatus.dwCurrentState = SERVICE_STOPPED;
  // A service that failed says so: the manager shows and logs the code.
  hub.serviceStatus.dwWin32ExitCode = hub.exit_error;
  SetServiceStatus(hub.serviceStatusHandle.load(), &hub.serviceStatus);
}

// Lets a thread that may be inside the loader run on, so that it leaves the
// loader lock (or any other lock) before it is ended.
void boost_thread(HANDLE thread) {
  SetThreadPriority(current_thread_handle(), THREAD_PRIORITY_NORMAL);
  for (int round = 0; round < 5; ++round) {
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    Sleep(0);
    GetModuleHandleA("ntdll.dll");
  }
}

// A probe that fails at once is over within milliseconds; one still running
// after kDispatcherSettleMs is blocked in the dispatcher's long wait, where
// ending it is harmless. Earlier it may be starting up or inside the system's
// own bookkeeping (thread-local data, allocations), holding locks that nobody
// outside can take for it and that it would keep for good if ended there.
void let_dispatcher_settle(HANDLE thread) {
  DWORD wait = kDispatcherSettleMs;
  if (g_signal_hub.dispatcher_stage.load() == kDispatcherInCall) {
    DWORD in_call = GetTickCount() - g_signal_hub.dispatcher_call_tick.load();
    wait = in_call >= kDispatcherSettleMs ? 0 : kDispatcherSettleMs - in_call;
  }
  if (wait > 0) WaitForSingleObject(thread, wait);
}

// Under the hub's lock. A dispatcher thread that has left the dispatcher call
// is ending by itself and is only joined later. Otherwise the thread is ended
// only while this thread owns the loader lock, so the ended thread cannot be
// holding it. The probe allocates memory and resolves paths while it starts
// and while it gives up, so the lock of every heap and the environment
// block's lock are held as well: a thread ended inside an allocation would
// leave its heap locked for good, and the next malloc of any thread would
// never return. Lock order as at process exit: loader, environment block,
// heaps.
void end_thread_holding_process_locks(HANDLE thread, const ProcessLocks& locks) {
  bool loader = locks.lock_loader && locks.unlock_loader;
  bool peb = locks.acquire_peb && locks.release_peb;
  ULONG_PTR cookie = 0;
  if (loader) locks.lock_loader(0, nullptr, &cookie);
  if (peb) locks.acquire_peb();
  HANDLE heaps[kMaxLockedHeaps];
  DWORD heap_count = GetProcessHeaps(kMaxLockedHeaps, heaps);
  if (heap_count > kMaxLockedHeaps) heap_count = kMaxLockedHeaps;
  // A heap that refuses to be locked is skipped, not a reason to leave the
  // heaps after it unlocked; the locked ones are kept at the front.
  DWORD locked = 0;
  for (DWORD i = 0; i < heap_count; ++i) {
    if (HeapLock(heaps[i])) heaps[locked++] = heaps[i];
  }
  bool in_call = g_signal_hub.dispatcher_stage.load() != kDispatcherReturned;
  if (in_call && WaitForSingleObject(thread, 0) != WAIT_OBJECT_0 && TerminateThread(thread, 0)) {
    // The end is asynchronous: the thread must not run on once the locks
    // are given back.
    WaitForSingleObject(thread, kTerminatedThreadWaitMs);
  }
  while (locked > 0) HeapUnlock(heaps[--locked]);
  if (peb) locks.release_peb();
  if (loader) locks.unlock_loader(0, cookie);
}

// The dispatcher thread is still blocked in StartServiceCtrlDispatcherW.
// Returns true when ServiceMain ran in the meantime (SERVICE_STOPPED has then
// been reported instead).
bool end_blocked_dispatcher(HANDLE thread) {
  SignalHub& hub = g_signal_hub;
  ProcessLocks locks = find_process_locks();
  let_dispatcher_settle(thread);
  boost_thread(thread);
  bool stopped_service = false;
  if (hub_enter()) {
    if (hub.serviceMode) {
      report_service_stopped();
      stopped_service = true;
    } else {
      end_thread_holding_process_locks(thread, locks);
    }
    hub_leave();
  }
  SetThreadPriority(current_thread_handle(), THREAD_PRIORITY_NORMAL);
  return stopped_service;
}

// The service control manager did not let the dispatcher call return after
// SERVICE_STOPPED: end the thread as if it were blocked.
void end_unreleased_dispatcher(HANDLE thread) {
  ProcessLocks locks = find_process_locks();
  boost_thread(thread);
  if (hub_enter()) {
    end_thread_holding_process_locks(thread, locks);
    hub_leave();
  } else if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
    TerminateThread(thread, 0);
  }
  SetThreadPriority(current_thread_handle(), THREAD_PRIORITY_NORMAL);
}

}  // namespace

DWORD WINAPI ServiceDispatcherThread(LPVOID) {
  SignalHub& hub = g_signal_hub;
  hub.dispatcher_call_tick.store(GetTickCount());
  hub.dispatcher_stage.store(kDispatcherInCall);
  // Fails when the process was not started as a service; otherwise returns
  // once the service has reported SERVICE_STOPPED.
  StartServiceCtrlDispatcherW(g_dispatch_table);
  hub.dispatcher_stage.store(kDispatcherReturned);
  return 0;
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  SignalHub& hub = g_signal_hub;
  // A service shows no window.
  StopSignalWindow();
  if (!hub_enter()) return;
  hub.serviceMode = true;
  hub.serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  hub.serviceStatus.dwCurrentState = SERVICE_RUNNING;
  hub.serviceStatus.dwControlsAccepted =
      SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE;
  const wchar_t* name = (argc > 0 && argv && argv[0]) ? argv[0] : g_no_service_name;
  hub.serviceStatusHandle.store(RegisterServiceCtrlHandlerExW(name, ServiceCtrlHandler, nullptr));
  SetServiceStatus(hub.serviceStatusHandle.load(), &hub.serviceStatus);
  hub_leave();
  // The service runs on after this returns: the launcher's main thread does
  // the work.
}

DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  SignalHub& hub = g_signal_hub;
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN: RaiseSignal(kSignalStop); return NO_ERROR;
    case SERVICE_CONTROL_PAUSE: RaiseSignal(kSignalPause); return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE: RaiseSignal(kSignalContinue); return NO_ERROR;
    case SERVICE_CONTROL_PARAMCHANGE: RaiseSignal(kSignalParametersChanged); return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      if (hub.serviceStatusHandle.load() && hub_enter()) {
        SetServiceStatus(hub.serviceStatusHandle.load(), &hub.serviceStatus);
        hub_leave();
      }
      return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void stop_service_dispatcher() {
  SignalHub& hub = g_signal_hub;
  if (!hub_enter()) return;
  HANDLE thread = hub.dispatcherThread;
  hub.dispatcherThread = nullptr;
  bool stopped_service = false;
  bool must_end = false;
  if (thread) {
    if (hub.serviceMode) {
      // Lets StartServiceCtrlDispatcherW return on the dispatcher thread.
      report_service_stopped();
      stopped_service = true;
    } else {
      must_end = WaitForSingleObject(thread, 0) != WAIT_OBJECT_0;
    }
  }
  hub_leave();
  if (!thread) return;
  if (must_end) stopped_service = end_blocked_dispatcher(thread);
  // A stop report that the service control manager never answers must not
  // keep the process alive.
  if (stopped_service && WaitForSingleObject(thread, kServiceStopJoinMs) != WAIT_OBJECT_0) {
    end_unreleased_dispatcher(thread);
  }
  // Bounded as well: a thread that could not be ended (TerminateThread
  // refused, or never called because the hub was gone) is left to the end
  // of the process.
  WaitForSingleObject(thread, kDispatcherJoinMs);
  CloseHandle(thread);
}
