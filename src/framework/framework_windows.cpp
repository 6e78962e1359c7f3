// The process framework as the launcher uses it: started once before the
// tool, stopped once after it. The steps live with the parts they concern:
// the hub (signal_hub_windows.cpp), the window (signal_window_windows.cpp)
// and the service probe (service_windows.cpp).
#include "framework/signal_hub.h"
#include "runtime/handles.h"

void StartProcessFramework() {
  SignalHub& hub = g_signal_hub;
  if (!hub.consoleHandlerInstalled.load()) InstallConsoleHandler();
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (!is_handle(input)) {
    // No console input: the hidden window stands in for the console.
    StartSignalWindow();
  } else {
    CloseHandle(input);
  }
  // Created only now, so that ServiceMain finds the window thread either
  // running or absent, never half started.
  hub.dispatcher_stage.store(kDispatcherStarting);
  HANDLE dispatcher = CreateThread(nullptr, 0, ServiceDispatcherThread, nullptr, 0, nullptr);
  if (hub_enter()) {
    hub.dispatcherThread = dispatcher;
    hub_leave();
  } else if (dispatcher) {
    CloseHandle(dispatcher);
  }
}

void StopProcessFramework() {
  StopSignalWindow();
  stop_service_dispatcher();
}

bool process_runs_as_service(uint32_t wait_ms) {
  SignalHub& hub = g_signal_hub;
  DWORD start = GetTickCount();
  for (;;) {
    if (!hub_enter()) return false;
    bool service = hub.serviceMode;
    // Without a dispatcher thread, or once it has ended, nothing will change.
    bool decided = service || !hub.dispatcherThread || WaitForSingleObject(hub.dispatcherThread, 0) == WAIT_OBJECT_0;
    hub_leave();
    if (decided) return service;
    if (GetTickCount() - start >= wait_ms) return false;
    Sleep(5);
  }
}

void framework_set_exit_error(uint32_t error) {
  if (!hub_enter()) return;
  g_signal_hub.exit_error = error;
  hub_leave();
}
