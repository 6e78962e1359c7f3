// Reference launcher for the launch-cost benchmark: the floor. Besides
// starting tavrin.exe and waiting, it makes only the system calls that every
// start of the real launchers must make: splitting its command line through
// shell32, reading the user name, a thread with a hidden window and its
// message loop, the service-dispatcher thread with its forced end when it is
// still blocked, and the C runtime's at-exit list (through which the
// launchers' clean-ups run). Everything of the launchers' own (texts,
// formatting, environment copy, maps) is left out, so the real launchers'
// cost over this one is the cost of their own code.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

namespace {

HWND g_window;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_USER + 100) {
    DestroyWindow(window);
    g_window = nullptr;
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

DWORD WINAPI window_thread(LPVOID ready) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = window_proc;
  window_class.lpszClassName = L"SignalWindow";
  RegisterClassW(&window_class);
  g_window = CreateWindowExW(0, L"SignalWindow", L"SignalWindow", 0x04C80000, 100, 100, 200, 200, nullptr, nullptr,
                             nullptr, nullptr);
  HWND window = g_window;
  SetEvent(static_cast<HANDLE>(ready));
  if (window) {
    ShowWindow(window, SW_HIDE);
    MSG message;
    while (g_window && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  }
  return 0;
}

void WINAPI service_main(DWORD, LPWSTR*) {}

DWORD WINAPI dispatcher_thread(LPVOID) {
  static wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, service_main}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherW(table);
  return 0;
}

}  // namespace

int at_exit() { return 0; }

int run() {
  _onexit(at_exit);
  int count = 0;
  LPWSTR* own = CommandLineToArgvW(GetCommandLineW(), &count);
  if (own) LocalFree(own);
  wchar_t user[200];
  DWORD user_size = 200;
  GetUserNameW(user, &user_size);

  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE window = CreateThread(nullptr, 0, window_thread, ready, 0, nullptr);
  WaitForSingleObject(ready, INFINITE);
  HANDLE dispatcher = CreateThread(nullptr, 0, dispatcher_thread, nullptr, 0, nullptr);

  wchar_t path[MAX_PATH + 16];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  while (n > 0 && path[n - 1] != L'\\') --n;
  lstrcpyW(path + n, L"tavrin.exe");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  int code = 1;
  if (CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
  } else {
    code = int(GetLastError());
  }

  if (g_window) PostMessageW(g_window, WM_USER + 100, 0, 0);
  WaitForSingleObject(window, INFINITE);
  if (WaitForSingleObject(dispatcher, 0) != WAIT_OBJECT_0) TerminateThread(dispatcher, 0);
  WaitForSingleObject(dispatcher, INFINITE);
  return code;
}

// The process entry, without the C runtime's start-up object (the real
// launchers have none either), leaving through the runtime's exit as they do.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void bench_process_start() { exit(run()); }
