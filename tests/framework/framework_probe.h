// Test helpers for the process framework seen from outside: finding and
// describing the hidden signal window of another process, sending it messages
// from a thread of their own, and creating Windows services for a test. They
// serve the framework host now and the real launchers later. Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

// framework_host.exe: LAUNCHERS_FRAMEWORK_HOST, beside this test program, or
// tools\framework_host\framework_host.exe two folders above it (see
// test_program).
std::u16string framework_host_program();

// The top-level window of `class_name` owned by process `pid`, polled every
// 10 ms; null when none appears within `timeout_ms` or the process ends.
HWND find_process_window(DWORD pid, const std::u16string& class_name, DWORD timeout_ms, HANDLE process = nullptr);

// A top-level window of another process, read without sending it a
// message (a window on another window station may not get one).
struct SeenWindow {
  HWND window;
  std::u16string class_name;
  std::u16string title;
  std::u16string text;  // of a dialog: its static text
};

// The top-level windows of process `pid` on every desktop of every window
// station this process may open. A service's windows live on the service
// window station, out of sight of EnumWindows (and find_process_window);
// the search switches this process's window station for the moment, so
// nothing else in the process may use windows meanwhile.
std::vector<SeenWindow> windows_of(DWORD pid);
// The first of `windows` of `class_name`, or null.
const SeenWindow* window_of_class(const std::vector<SeenWindow>& windows, const std::u16string& class_name);

struct WindowFacts {
  std::u16string class_name;
  std::u16string title;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect = {};
  bool visible = false;
  DWORD process_id = 0;
  DWORD thread_id = 0;
};
bool read_window_facts(HWND window, WindowFacts* facts);

// Test expectations for the hidden signal window: class and title
// "SignalWindow", not visible, styles 0x04C80000 (WS_EX_WINDOWEDGE aside),
// 100,100 to 300,300, no parent and no owner.
void expect_signal_window(HWND window);

// SendMessageW from a thread of its own, so that the test can watch whether
// the message has been answered. The destructor waits for the answer, which
// comes at the latest when the window or its process ends.
class PendingSend {
 public:
  PendingSend(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  ~PendingSend();
  PendingSend(const PendingSend&) = delete;
  PendingSend& operator=(const PendingSend&) = delete;
  // True once SendMessageW has returned, waiting up to `timeout_ms`.
  bool answered(DWORD timeout_ms);
  LRESULT result() const { return result_.load(); }

 private:
  HANDLE done_;
  std::atomic<LRESULT> result_{0};
  std::thread sender_;
};

// Waits until `predicate` holds, polling every 5 ms; false after `timeout_ms`.
template <typename Predicate>
bool wait_until(Predicate predicate, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (predicate()) return true;
    if (GetTickCount() - start >= timeout_ms) return predicate();
    Sleep(5);
  }
}

// A demand-start own-process service created for one test. The destructor
// ends its process if it still runs and deletes the service, also when the
// test failed half way.
class TestService {
 public:
  // `name` should be unique; a stale service of that name is deleted first.
  TestService(const std::u16string& name, const std::u16string& command_line);
  ~TestService();
  TestService(const TestService&) = delete;
  TestService& operator=(const TestService&) = delete;

  DWORD create_error() const { return create_error_; }  // 0 when created
  DWORD start();                                        // error code, 0 on success
  bool query(SERVICE_STATUS_PROCESS* status);
  // Polls until the current state is `state`; false after `timeout_ms`.
  bool wait_for_state(DWORD state, DWORD timeout_ms, SERVICE_STATUS_PROCESS* status);
  // ControlService; the error code, 0 on success.
  DWORD control(DWORD code, SERVICE_STATUS* status);

 private:
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
  DWORD create_error_ = 0;
  DWORD last_process_id_ = 0;
};

// Reads "name=value" lines; an empty map when the file cannot be read.
std::map<std::string, std::string> read_key_values(const std::u16string& path);
