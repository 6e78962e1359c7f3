#include "framework/framework_probe.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/signal_hub.h"
#include "support/windows_process.h"

std::u16string framework_host_program() {
  return test_program(u"../../tools/framework_host/framework_host.exe", L"LAUNCHERS_FRAMEWORK_HOST");
}

HWND find_process_window(DWORD pid, const std::u16string& class_name, DWORD timeout_ms, HANDLE process) {
  HWND found = nullptr;
  wait_until(
      [&] {
        found = top_level_window(pid, class_name);
        return found != nullptr || (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
      },
      timeout_ms);
  return found;
}

bool read_window_facts(HWND window, WindowFacts* facts) {
  if (!IsWindow(window)) return false;
  wchar_t text[256];
  facts->class_name = GetClassNameW(window, text, 256) > 0 ? u16(text) : u"";
  facts->title = GetWindowTextW(window, text, 256) >= 0 ? u16(text) : u"";
  facts->style = DWORD(GetWindowLongW(window, GWL_STYLE));
  facts->ex_style = DWORD(GetWindowLongW(window, GWL_EXSTYLE));
  GetWindowRect(window, &facts->rect);
  facts->visible = IsWindowVisible(window) != FALSE;
  facts->thread_id = GetWindowThreadProcessId(window, &facts->process_id);
  return true;
}

PendingSend::PendingSend(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
    : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // The message goes out before the constructor returns whatever the load,
  // so that it comes before anything the test sends next.
  std::atomic<bool> sending{false};
  sender_ = std::thread([this, &sending, window, msg, wparam, lparam] {
    sending.store(true);
    result_.store(SendMessageW(window, msg, wparam, lparam));
    SetEvent(done_);
  });
  while (!sending.load()) Sleep(1);
  Sleep(20);
}

PendingSend::~PendingSend() {
  sender_.join();
  CloseHandle(done_);
}

bool PendingSend::answered(DWORD timeout_ms) { return WaitForSingleObject(done_, timeout_ms) == WAIT_OBJECT_0; }

TestService::TestService(const std::u16string& name, const std::u16string& command_line) {
  manager_ = open_service_manager(SC_MANAGER_ALL_ACCESS);
  if (!manager_) {
    create_error_ = GetLastError();
    return;
  }
  if (SC_HANDLE stale = OpenServiceW(manager_, wide(name), SERVICE_ALL_ACCESS)) {
    DeleteService(stale);
    CloseServiceHandle(stale);
  }
  // Wine's service manager may still be too busy here (see open_service_manager).
  for (int attempt = 1; attempt <= 20 && !service_; ++attempt) {
    if (attempt > 1) Sleep(250);
    service_ = CreateServiceW(manager_, wide(name), wide(name), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, wide(command_line), nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    create_error_ = service_ ? 0 : GetLastError();
    if (create_error_ != RPC_S_SERVER_TOO_BUSY) break;
  }
}

TestService::~TestService() {
  if (service_) {
    SERVICE_STATUS_PROCESS status;
    DWORD pid = last_process_id_;
    if (query(&status) && status.dwCurrentState != SERVICE_STOPPED && status.dwProcessId) pid = status.dwProcessId;
    if (pid) {
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
          TerminateProcess(process, 0xDEAD);
          WaitForSingleObject(process, 10000);
        }
        CloseHandle(process);
      }
    }
    DeleteService(service_);
    CloseServiceHandle(service_);
  }
  if (manager_) CloseServiceHandle(manager_);
}

DWORD TestService::start() {
  if (!service_) return ERROR_INVALID_HANDLE;
  // The service's process is started like any other, and Wine fails such a
  // start now and then (see retry_transient).
  return retry_wine_start([&]() -> DWORD { return StartServiceW(service_, 0, nullptr) ? 0 : GetLastError(); });
}

bool TestService::query(SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  if (!service_ || !QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status),
                                         sizeof *status, &needed)) {
    return false;
  }
  if (status->dwProcessId) last_process_id_ = status->dwProcessId;
  return true;
}

bool TestService::wait_for_state(DWORD state, DWORD timeout_ms, SERVICE_STATUS_PROCESS* status) {
  return wait_until([&] { return query(status) && status->dwCurrentState == state; }, timeout_ms);
}

DWORD TestService::control(DWORD code, SERVICE_STATUS* status) {
  if (!service_) return ERROR_INVALID_HANDLE;
  return ControlService(service_, code, status) ? 0 : GetLastError();
}

std::map<std::string, std::string> read_key_values(const std::u16string& path) {
  std::map<std::string, std::string> values;
  std::string text;
  if (!read_file(path, &text)) return values;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return values;
}

// --- windows on every window station ---------------------------------------------

namespace {

struct StationSearch {
  DWORD pid;
  std::vector<SeenWindow>* found;
};

// Read without sending the window a message, which another window
// station's window may not get.
std::u16string text_of(HWND window, int item) {
  wchar_t text[1024] = L"";
  HWND from = item ? GetDlgItem(window, item) : window;
  if (from) InternalGetWindowText(from, text, 1024);
  return u16(text);
}

BOOL CALLBACK collect_window(HWND window, LPARAM param) {
  StationSearch* search = reinterpret_cast<StationSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid) return TRUE;
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  SeenWindow seen = {window, u16(name), text_of(window, 0), u""};
  if (seen.class_name == u"#32770") seen.text = text_of(window, 0xFFFF);
  search->found->push_back(seen);
  return TRUE;
}

BOOL CALLBACK visit_desktop(LPWSTR name, LPARAM param) {
  if (HDESK desktop = OpenDesktopW(name, 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)) {
    EnumDesktopWindows(desktop, collect_window, param);
    CloseDesktop(desktop);
  }
  return TRUE;
}

BOOL CALLBACK visit_station(LPWSTR name, LPARAM param) {
  HWINSTA own = GetProcessWindowStation();
  HWINSTA station = OpenWindowStationW(name, FALSE, WINSTA_ENUMDESKTOPS);
  if (!station) return TRUE;
  if (SetProcessWindowStation(station)) {
    EnumDesktopsW(station, visit_desktop, param);
    SetProcessWindowStation(own);
  }
  CloseWindowStation(station);
  return TRUE;
}

// The top-level windows of process `pid`, wherever they are.
}  // namespace

std::vector<SeenWindow> windows_of(DWORD pid) {
  std::vector<SeenWindow> found;
  StationSearch search = {pid, &found};
  EnumWindowStationsW(visit_station, reinterpret_cast<LPARAM>(&search));
  return found;
}

const SeenWindow* window_of_class(const std::vector<SeenWindow>& windows, const std::u16string& class_name) {
  for (const SeenWindow& window : windows) {
    if (window.class_name == class_name) return &window;
  }
  return nullptr;
}

void expect_signal_window(HWND window) {
  WindowFacts facts;
  ASSERT_TRUE(read_window_facts(window, &facts));
  EXPECT_EQ(facts.class_name, u"SignalWindow");
  EXPECT_EQ(facts.title, u"SignalWindow");
  EXPECT_FALSE(facts.visible);
  // WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU, WS_VISIBLE not among them;
  // the system may add WS_EX_WINDOWEDGE for the caption.
  EXPECT_EQ(facts.style, kSignalWindowStyle) << std::hex << facts.style;
  EXPECT_EQ(facts.ex_style & ~DWORD(WS_EX_WINDOWEDGE), 0u) << std::hex << facts.ex_style;
  EXPECT_EQ(facts.rect.left, 100);
  EXPECT_EQ(facts.rect.top, 100);
  EXPECT_EQ(facts.rect.right, 300);
  EXPECT_EQ(facts.rect.bottom, 300);
  EXPECT_EQ(GetParent(window), nullptr);
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
}
