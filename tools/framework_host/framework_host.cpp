// framework_host STOP_FILE [REPORT_FILE] [--query-wait=MS]
//
// Brings the process framework up as a launcher does (hub at start-up, then
// StartProcessFramework), waits until STOP_FILE exists (at most two minutes),
// then calls StopProcessFramework and exits. REPORT_FILE, when given,
// receives "name=value" lines:
//   window=0|1                  the signal window existed after the start
//   service_query=0|1           process_runs_as_service(MS) after the start
//   dispatcher_running=0|1      the dispatcher thread had not ended at the stop
//   stop_us=N                   microseconds spent in StopProcessFramework
//   service=0|1                 the process ran as a service
//   flags=N                     signal flags, bit n-1 for signal n
// The exit code is the flags value. The file REPORT_FILE.signal is written as
// soon as the hub's event is set (the first signal), before the stop.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "framework/signal_hub.h"

namespace {

struct HostStartUp {
  HostStartUp() { InitSignalHub(); }
};
HostStartUp host_start_up;

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

unsigned signal_bits() {
  unsigned bits = 0;
  for (int n = 1; n <= kSignalCount; ++n) {
    if (g_signal_hub.flags[n - 1].load()) bits |= 1u << (n - 1);
  }
  return bits;
}

bool dispatcher_running() {
  SignalHub& hub = g_signal_hub;
  if (!hub_enter()) return false;
  bool running = hub.dispatcherThread && WaitForSingleObject(hub.dispatcherThread, 0) != WAIT_OBJECT_0;
  hub_leave();
  return running;
}

bool service_mode() {
  SignalHub& hub = g_signal_hub;
  if (!hub_enter()) return false;
  bool service = hub.serviceMode;
  hub_leave();
  return service;
}

void write_report(const wchar_t* path, const char* text);

std::atomic<bool> g_stopping{false};

// Makes the first signal visible to a test while the host still runs.
DWORD WINAPI watch_signals(LPVOID path) {
  while (!g_stopping.load()) {
    if (WaitForSingleObject(g_signal_hub.signalEvent, 20) == WAIT_OBJECT_0) {
      char text[40];
      snprintf(text, sizeof text, "flags=%u\n", signal_bits());
      write_report(static_cast<const wchar_t*>(path), text);
      break;
    }
  }
  return 0;
}

void write_report(const wchar_t* path, const char* text) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, DWORD(strlen(text)), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 0x100;
  const wchar_t* stop_file = argv[1];
  const wchar_t* report_file = nullptr;
  DWORD query_wait = 0;
  for (int i = 2; i < argc; ++i) {
    if (wcsncmp(argv[i], L"--query-wait=", 13) == 0) {
      query_wait = DWORD(wcstoul(argv[i] + 13, nullptr, 10));
    } else {
      report_file = argv[i];
    }
  }

  wchar_t signal_file[MAX_PATH * 2] = {};
  HANDLE watcher = nullptr;
  if (report_file && wcslen(report_file) < MAX_PATH) {
    wcscpy(signal_file, report_file);
    wcscat(signal_file, L".signal");
    if (g_signal_hub.signalEvent) watcher = CreateThread(nullptr, 0, watch_signals, signal_file, 0, nullptr);
  }

  StartProcessFramework();
  bool window = g_signal_hub.signalWindow.load() != nullptr;
  bool service_query = process_runs_as_service(query_wait);

  DWORD started = GetTickCount();
  while (!exists(stop_file) && GetTickCount() - started < 120000) Sleep(10);

  g_stopping.store(true);
  if (watcher) {
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
  }

  bool running = dispatcher_running();
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  StopProcessFramework();
  QueryPerformanceCounter(&after);
  long long stop_us = (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart;

  unsigned flags = signal_bits();
  if (report_file) {
    char text[300];
    snprintf(text, sizeof text,
             "window=%d\nservice_query=%d\ndispatcher_running=%d\nstop_us=%lld\nservice=%d\nflags=%u\n", int(window),
             int(service_query), int(running), stop_us, int(service_mode()), flags);
    write_report(report_file, text);
  }
  LocalFree(argv);
  return int(flags);
}
