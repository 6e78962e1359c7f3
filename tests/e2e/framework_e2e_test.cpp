// The process framework of the real launchers, seen from outside under Wine:
// the hidden signal window while the tool runs, the shutdown while the
// service probe is still blocked, and the launchers run as services by
// Wine's service control manager.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "framework/framework_probe.h"
#include "support/system.h"
#include "support/test_support.h"

namespace {

const Launcher kBoth[] = {Launcher::kOrvane, Launcher::kKelmis};
const char* name_of(Launcher launcher) { return launcher == Launcher::kOrvane ? "orvane" : "kelmis"; }

std::u16string decimal16(uint64_t value) { return u16(std::to_string(value)); }

// Every wait for something that should happen at once is bounded by this.
const DWORD kLongMs = 20000;
// The tool is told to exit with this code: seeing it proves that the tool
// ended by itself, not by someone ending it.
const DWORD kToolExitCode = 7;
const std::u16string kToolExitText = u"7";

// The tavrin.exe that service runs use (see framework_service_tool.cpp).
std::u16string service_tool_program() { return test_program(u16(E2E_FRAMEWORK_SERVICE_TOOL)); }

// A handle of process `pid` for waiting, reading its exit code and ending
// it; null when it cannot be opened.
HANDLE open_process(DWORD pid) {
  return pid ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid) : nullptr;
}

// A process handle that closes itself.
class Held {
 public:
  Held() = default;
  ~Held() { reset(nullptr); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  void reset(HANDLE handle) {
    if (handle_) CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  bool running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }
  // Holds process `pid`; false, with the reason, when it does not run.
  bool hold_running(DWORD pid, std::string* why) {
    reset(open_process(pid));
    if (running()) return true;
    *why = "the tool process " + std::to_string(pid) + " could not be held";
    return false;
  }
  bool ends_within(DWORD timeout_ms) const {
    return handle_ && WaitForSingleObject(handle_, timeout_ms) == WAIT_OBJECT_0;
  }
  DWORD exit_code() const {
    DWORD code = 0xDEADBEEF;
    if (handle_) GetExitCodeProcess(handle_, &code);
    return code;
  }
  // Ends a process that still runs (cleanup after a failed check).
  void end() const {
    if (running()) {
      TerminateProcess(handle_, 0xDEAD);
      WaitForSingleObject(handle_, 5000);
    }
  }

 private:
  HANDLE handle_ = nullptr;
};

// The first finished probe report in `folder`, or false.
bool find_report(const std::u16string& folder, ProbeReport* report, std::string* error) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide(join_path(folder, u"*.txt")), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  std::u16string name(from_wchar(found.cFileName));
  FindClose(search);
  return load_probe_report(join_path(folder, name), report, error);
}

// A launcher started as a user starts it (no console), whose tool (the probe)
// reports and then waits for a release file before it exits with
// kToolExitCode. The destructor releases the tool and ends whatever still
// runs.
class WaitingRun {
  enum Outcome { kRunning, kWineFailed, kFailed };

 public:
  // `environment`: further NAME=value entries for the launcher;
  // `creation_flags`: CREATE_NEW_CONSOLE gives it a console of its own.
  explicit WaitingRun(Launcher launcher, const std::vector<std::u16string>& environment = {}, DWORD creation_flags = 0)
      : install_(launcher), reports_(u"fwrep"), gate_(u"fwgate") {
    if (!install_.ok() || !reports_.ok() || !gate_.ok()) return;
    release_ = gate_.file(u"release");
    options_.argv = {install_.launcher(), u"framework e2e"};
    options_.use_environment = true;
    std::vector<std::u16string> entries = {u"PROBE_REPORT=" + reports_.path(), u"PROBE_WAIT_FOR=" + release_,
                                           u"PROBE_WAIT_LIMIT=60000", u"PROBE_EXIT=" + kToolExitText};
    entries.insert(entries.end(), environment.begin(), environment.end());
    options_.environment = environment_with(entries, kControlledVariables);
    options_.creation_flags = creation_flags;
    launcher_ = std::make_unique<TestProcess>(options_);
  }
  ~WaitingRun() {
    if (!release_.empty()) release();
    if (!tool_.ends_within(5000)) tool_.end();
  }
  WaitingRun(const WaitingRun&) = delete;
  WaitingRun& operator=(const WaitingRun&) = delete;

  bool started() const { return launcher_ && launcher_->started(); }
  TestProcess& launcher() { return *launcher_; }
  const Held& tool() const { return tool_; }

  // Waits until the tool has reported (it then runs and waits for its
  // release) and holds its process. False, with the reason, otherwise. A
  // launcher whose start of its tool Wine failed transiently (its box names
  // the error) is started anew.
  bool tool_running(std::string* why) {
    Outcome outcome = retry_transient(
        [&](int attempt) {
          if (attempt > 0) launcher_ = std::make_unique<TestProcess>(options_);
          return wait_for_tool(why);
        },
        [](Outcome result) { return result == kWineFailed; });
    return outcome == kRunning;
  }
  void release() { write_file(release_, "go"); }

 private:
  Outcome wait_for_tool(std::string* why) {
    ProbeReport report;
    std::string error;
    MessageBoxSeen box;
    bool found = wait_until(
                     [&] {
                       if (find_report(reports_.path(), &report, &error) || launcher_->wait(0)) return true;
                       box = read_message_box(launcher_->id(), 0, true);
                       return box.found;
                     },
                     kLongMs) &&
                 find_report(reports_.path(), &report, &error);
    if (!found) {
      *why = "no tool report (launcher " + std::string(launcher_->wait(0) ? "ended" : "runs") + ") " + error;
      if (box.found) {
        *why += "; box [" + escaped(box.text) + "]";
        launcher_->wait(kLongMs);
        if (box_names_wine_start_failure(box)) return kWineFailed;
      }
      return kFailed;
    }
    if (report.args != expected_vector(install_, {u"framework e2e"})) {
      *why = "the tool got " + escaped(report.args);
      return kFailed;
    }
    return tool_.hold_running(report.pid, why) ? kRunning : kFailed;
  }

  Install install_;
  TempDir reports_;
  TempDir gate_;
  RunOptions options_;
  std::u16string release_;
  std::unique_ptr<TestProcess> launcher_;
  Held tool_;
};

// --- the hidden signal window ---------------------------------------------------

struct StopMessage {
  const char* name;
  UINT msg;
  WPARAM wparam;
};
const StopMessage kStopMessages[] = {
    {"WM_CLOSE", WM_CLOSE, 0},
    {"WM_ENDSESSION(FALSE)", WM_ENDSESSION, FALSE},
    {"WM_ENDSESSION(TRUE)", WM_ENDSESSION, TRUE},
};

TEST(E2eFrameworkWindow, StopMessagesWaitForTheToolAndTheShutdown) {
  for (Launcher launcher : kBoth) {
    for (const StopMessage& stop : kStopMessages) {
      SCOPED_TRACE(std::string(name_of(launcher)) + ", " + stop.name);
      WaitingRun run(launcher);
      ASSERT_TRUE(run.started());
      std::string why;
      ASSERT_TRUE(run.tool_running(&why)) << why;
      // The framework starts before the tool: the window is there by now.
      HWND window = find_process_window(run.launcher().id(), u"SignalWindow", 5000, run.launcher().handle());
      ASSERT_NE(window, nullptr) << "no SignalWindow in the launcher's process";
      expect_signal_window(window);

      // The logon session may end, as far as the launcher is concerned.
      for (LPARAM reason : {LPARAM(0), LPARAM(ENDSESSION_LOGOFF)}) {
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 10000, &answer), 0);
        EXPECT_EQ(answer, DWORD_PTR(TRUE)) << "WM_QUERYENDSESSION, lParam " << reason;
      }

      // A sender that gives up gets no answer while the tool runs...
      DWORD_PTR ignored = 0;
      SetLastError(0);
      EXPECT_EQ(SendMessageTimeoutW(window, stop.msg, stop.wparam, 0, SMTO_NORMAL, 500, &ignored), 0);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
      bool launcher_ended = false;
      {
        // ...and one that waits is answered once the tool has ended and the
        // launcher has shut its framework down.
        PendingSend pending(window, stop.msg, stop.wparam, 0);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer), 0)
            << "the window stopped answering other messages";
        EXPECT_FALSE(pending.answered(300));
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(run.tool().running()) << "the tool was ended early";
        EXPECT_FALSE(run.launcher().wait(0)) << "the launcher ended before its tool";

        run.release();
        EXPECT_TRUE(run.tool().ends_within(kLongMs));
        EXPECT_EQ(run.tool().exit_code(), kToolExitCode) << "the tool did not end by itself";
        launcher_ended = run.launcher().wait(kLongMs);
        EXPECT_TRUE(launcher_ended) << "the launcher still runs after its tool ended";
        // A launcher that never ends would hold the pending send for good.
        if (!launcher_ended) run.launcher().terminate(0xDEAD);
        EXPECT_TRUE(pending.answered(kLongMs));
        EXPECT_EQ(pending.result(), 0);
      }
      if (launcher_ended) {
        EXPECT_EQ(run.launcher().exit_code(), 1u);
      }
      EXPECT_FALSE(IsWindow(window));
    }
  }
}

// Floods of stop messages from outside: tens of thousands posted, and sent
// from several threads at once by senders that give up after a moment, while
// a few more senders wait for their answer. Each held message costs the
// window thread a nested pump, so an unbounded number of them would end the
// thread (under Wine) or the whole process (on Windows, a stack overflow).
struct FloodResult {
  int posted = 0;
  int sent = 0;
  int answered_at_once = 0;  // sends answered before the sender gave up
};

FloodResult flood_with_stop_messages(HWND window, int posts, int senders, int sends_each) {
  FloodResult result;
  std::atomic<int> sent{0}, answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < senders; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < sends_each; ++i) {
        const StopMessage& stop = kStopMessages[size_t(t + i) % 3];
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(window, stop.msg, stop.wparam, 0, SMTO_NORMAL, 100, &answer)) answered.fetch_add(1);
        sent.fetch_add(1);
      }
    });
  }
  for (int i = 0; i < posts; ++i) {
    const StopMessage& stop = kStopMessages[size_t(i) % 3];
    if (PostMessageW(window, stop.msg, stop.wparam, 0)) ++result.posted;
  }
  for (std::thread& thread : threads) thread.join();
  result.sent = sent.load();
  result.answered_at_once = answered.load();
  return result;
}

TEST(E2eFrameworkWindow, FloodsOfStopMessagesLeaveTheWindowAndTheWait) {
  for (Launcher launcher : kBoth) {
    SCOPED_TRACE(name_of(launcher));
    WaitingRun run(launcher);
    ASSERT_TRUE(run.started());
    std::string why;
    ASSERT_TRUE(run.tool_running(&why)) << why;
    HWND window = find_process_window(run.launcher().id(), u"SignalWindow", 5000, run.launcher().handle());
    ASSERT_NE(window, nullptr);
    bool launcher_ended = false;
    {
      // Senders that wait are answered only once the framework has stopped.
      PendingSend waiting_close(window, WM_CLOSE, 0, 0);
      PendingSend waiting_logoff(window, WM_ENDSESSION, TRUE, 0);
      FloodResult flood = flood_with_stop_messages(window, 30000, 6, 300);
      RecordProperty(std::string(name_of(launcher)) + "_posted", flood.posted);
      RecordProperty(std::string(name_of(launcher)) + "_sent", flood.sent);
      EXPECT_GT(flood.posted, 10000) << "the flood did not reach the window";
      // Past the few held ones the sends are answered at once.
      EXPECT_GT(flood.answered_at_once, flood.sent / 2);

      DWORD_PTR answer = 0;
      EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kLongMs, &answer), 0)
          << "the window no longer answers";
      EXPECT_TRUE(IsWindow(window)) << "the flood ended the window";
      EXPECT_FALSE(waiting_close.answered(0));
      EXPECT_FALSE(waiting_logoff.answered(0));
      EXPECT_TRUE(run.tool().running()) << "the tool was ended";
      EXPECT_FALSE(run.launcher().wait(0)) << "the launcher ended before its tool";

      run.release();
      EXPECT_TRUE(run.tool().ends_within(kLongMs));
      launcher_ended = run.launcher().wait(kLongMs);
      EXPECT_TRUE(launcher_ended) << "the launcher still runs after its tool ended";
      if (!launcher_ended) run.launcher().terminate(0xDEAD);
      EXPECT_TRUE(waiting_close.answered(kLongMs));
      EXPECT_TRUE(waiting_logoff.answered(kLongMs));
    }
    if (launcher_ended) EXPECT_EQ(run.launcher().exit_code(), 1u);
  }
}

// --- launchers run as services ----------------------------------------------------

// One launcher installed with the service tool as tavrin.exe (or without a
// tool) and registered as a demand-start own-process service; the tool
// writes its marker, waits for a release file and exits with kToolExitCode.
// The destructor releases the tool, ends whatever still runs and deletes the
// service.
class ServiceRun {
 public:
  ServiceRun(Launcher launcher, bool with_tool) : install_(launcher, u"", false), work_(u"fwsvc") {
    if (!install_.ok() || !work_.ok()) return;
    if (with_tool && !copy_file(service_tool_program(), install_.tool())) return;
    marker_ = work_.file(u"tool.txt");
    release_ = work_.file(u"release");
    own_args_ = {u"--marker=" + marker_, u"--wait-for=" + release_, u"--exit=" + kToolExitText};
    static std::atomic<int> serial{0};
    std::u16string name =
        u"fwe2e_" + decimal16(GetCurrentProcessId()) + u"_" + decimal16(GetTickCount()) + u"_" + decimal16(serial++);
    std::vector<std::u16string> argv = {install_.launcher()};
    argv.insert(argv.end(), own_args_.begin(), own_args_.end());
    service_ = std::make_unique<TestService>(name, quoted_command_line(argv));
  }
  ~ServiceRun() {
    if (!release_.empty()) write_file(release_, "go");
    if (!tool_.ends_within(5000)) tool_.end();
    if (!launcher_.ends_within(5000)) launcher_.end();
    service_.reset();  // deletes the service
  }
  ServiceRun(const ServiceRun&) = delete;
  ServiceRun& operator=(const ServiceRun&) = delete;

  bool created(std::string* why) const {
    if (!service_) {
      *why = "no install";
      return false;
    }
    if (service_->create_error()) *why = "CreateServiceW failed: " + std::to_string(service_->create_error());
    return service_->create_error() == 0;
  }
  TestService& service() { return *service_; }
  const Install& install() const { return install_; }
  const std::vector<std::u16string>& own_args() const { return own_args_; }
  const Held& launcher() const { return launcher_; }
  const Held& tool() const { return tool_; }
  void hold_launcher(DWORD pid) { launcher_.reset(open_process(pid)); }
  void hold_launcher(HANDLE process) { launcher_.reset(process); }

  // Waits for the tool's marker and holds the tool's process; the marker's
  // lines in *marker.
  bool tool_running(std::map<std::string, std::string>* marker, std::string* why) {
    if (!wait_for_file(marker_, kLongMs)) {
      *why = "the tool wrote no marker";
      return false;
    }
    *marker = read_key_values(marker_);
    DWORD pid = DWORD(std::strtoul((*marker)["pid"].c_str(), nullptr, 10));
    return tool_.hold_running(pid, why);
  }
  void release() { write_file(release_, "go"); }

 private:
  Install install_;
  TempDir work_;
  std::u16string marker_;
  std::u16string release_;
  std::vector<std::u16string> own_args_;
  std::unique_ptr<TestService> service_;
  Held launcher_;
  Held tool_;
};

std::string describe(const SERVICE_STATUS_PROCESS& s) {
  char text[200];
  snprintf(text, sizeof text, "type 0x%lx state %lu controls 0x%lx win32 exit %lu service exit %lu pid %lu",
           static_cast<unsigned long>(s.dwServiceType), static_cast<unsigned long>(s.dwCurrentState),
           static_cast<unsigned long>(s.dwControlsAccepted), static_cast<unsigned long>(s.dwWin32ExitCode),
           static_cast<unsigned long>(s.dwServiceSpecificExitCode), static_cast<unsigned long>(s.dwProcessId));
  return text;
}

// The vector the service tool must receive: the tool, the fixed entries,
// the service's own arguments.
std::map<std::string, std::string> expected_marker(const ServiceRun& run) {
  std::vector<std::u16string> argv = expected_vector(run.install(), run.own_args());
  std::map<std::string, std::string> lines;
  lines["argc"] = std::to_string(argv.size());
  for (size_t i = 0; i < argv.size(); ++i) lines["arg" + std::to_string(i)] = utf8(argv[i]);
  return lines;
}

// Under Wine the service manager connects a starting service to whichever
// process offers itself to it first, and every launcher offers itself as it
// starts (its service probe): a launcher that another test program starts at
// that moment can take the service's place (seen with twelve launchers
// started around one service start: one of them lost its SignalWindow to
// ServiceMain, while the service's own launcher kept its window and ran as an
// ordinary program). A start taken over that way says nothing about the
// launcher under test and is repeated, a few times at most; so is one in
// which Wine failed the launcher's start of its tool (see retry_transient).
const int kServiceAttempts = 4;

enum class ServiceStart { kRunning, kRepeat, kFailed };

// Starts the service and waits until it runs with its tool, as a service:
// its own process has no SignalWindow (ServiceMain stopped it before
// reporting SERVICE_RUNNING) and the tool got the expected arguments.
ServiceStart start_running(ServiceRun* run, SERVICE_STATUS_PROCESS* status, std::string* why) {
  if (!run->created(why)) return ServiceStart::kFailed;
  if (DWORD error = run->service().start()) {
    *why = "StartServiceW failed: " + std::to_string(error);
    return ServiceStart::kFailed;
  }
  if (!run->service().wait_for_state(SERVICE_RUNNING, kLongMs / 2, status)) {
    *why = "the service did not report SERVICE_RUNNING: " + describe(*status);
    return ServiceStart::kRepeat;
  }
  if (!status->dwProcessId) {
    *why = "no process for the running service";
    return ServiceStart::kFailed;
  }
  run->hold_launcher(status->dwProcessId);
  std::map<std::string, std::string> marker;
  if (!run->launcher().running() || !run->tool_running(&marker, why)) {
    if (why->empty()) *why = "the service's process ended at once";
    if (!run->launcher().running() && wine_start_failed(run->launcher().exit_code())) {
      *why += " (Wine failed the start of its tool)";
      return ServiceStart::kRepeat;
    }
    return ServiceStart::kFailed;
  }
  for (const auto& line : expected_marker(*run)) {
    if (marker[line.first] != line.second) {
      *why = "the tool got " + line.first + "=" + marker[line.first] + ", not " + line.second;
      return ServiceStart::kFailed;
    }
  }
  // The tool runs, so the framework has started: a launcher that is not
  // the service has its window by now.
  if (window_of_class(windows_of(status->dwProcessId), u"SignalWindow")) {
    *why =
        "the service's own process has a SignalWindow: ServiceMain did not run in it (another process took the "
        "service's place) or did not stop the window";
    return ServiceStart::kRepeat;
  }
  return ServiceStart::kRunning;
}

// A service of `launcher` running with its tool, or null with the reason.
std::unique_ptr<ServiceRun> running_service(Launcher launcher, SERVICE_STATUS_PROCESS* status, std::string* why) {
  std::unique_ptr<ServiceRun> run;
  ServiceStart started = retry_transient(
      [&](int attempt) {
        run = std::make_unique<ServiceRun>(launcher, true);
        ServiceStart result = start_running(run.get(), status, why);
        *why = "attempt " + std::to_string(attempt + 1) + ": " + *why;
        if (result == ServiceStart::kRunning) {
          testing::Test::RecordProperty(std::string(name_of(launcher)) + "_service_attempts",
                                        std::to_string(attempt + 1));
        }
        return result;
      },
      [](ServiceStart result) { return result == ServiceStart::kRepeat; }, kServiceAttempts);
  if (started != ServiceStart::kRunning) run.reset();
  return run;
}

TEST(E2eFrameworkService, RunsAcceptsControlsAndStopsWhenTheToolEnds) {
  SKIP_UNLESS_SERVICES_CAN_BE_CREATED();
  for (Launcher launcher : kBoth) {
    SCOPED_TRACE(name_of(launcher));
    SERVICE_STATUS_PROCESS status = {};
    std::string why;
    std::unique_ptr<ServiceRun> started = running_service(launcher, &status, &why);
    ASSERT_NE(started, nullptr) << why;
    ServiceRun& run = *started;
    EXPECT_EQ(status.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS)) << describe(status);
    EXPECT_EQ(status.dwControlsAccepted, 0x0Fu) << describe(status);
    EXPECT_EQ(status.dwWin32ExitCode, 0u) << describe(status);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u) << describe(status);
    EXPECT_EQ(status.dwCheckPoint, 0u);
    EXPECT_EQ(status.dwWaitHint, 0u);

    // A burst of controls from several threads at once leaves it running.
    // (STOP comes last, below: under Wine a control sent after STOP makes
    // Wine's service manager end the service's process, with exit code 0.)
    std::atomic<int> refused{0};
    std::atomic<DWORD> first_error{0};
    std::vector<std::thread> controllers;
    for (int t = 0; t < 4; ++t) {
      controllers.emplace_back([&, t] {
        const DWORD controls[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE,
                                  SERVICE_CONTROL_INTERROGATE};
        for (int i = 0; i < 75; ++i) {
          SERVICE_STATUS answer = {};
          if (DWORD error = run.service().control(controls[(t + i) % 4], &answer)) {
            refused.fetch_add(1);
            DWORD none = 0;
            first_error.compare_exchange_strong(none, error);
          }
        }
      });
    }
    for (std::thread& controller : controllers) controller.join();
    EXPECT_EQ(refused.load(), 0) << "of 300 controls; the first error " << first_error.load();
    ASSERT_TRUE(run.launcher().running()) << "the burst ended the launcher";

    // Every control is accepted and leaves the service running; STOP, too,
    // only raises a signal: the launcher goes on waiting for its tool.
    for (DWORD control :
         {DWORD(SERVICE_CONTROL_PAUSE), DWORD(SERVICE_CONTROL_CONTINUE), DWORD(SERVICE_CONTROL_PARAMCHANGE),
          DWORD(SERVICE_CONTROL_INTERROGATE), DWORD(SERVICE_CONTROL_STOP)}) {
      SCOPED_TRACE("control " + std::to_string(control));
      SERVICE_STATUS answer = {};
      DWORD error = run.service().control(control, &answer);
      EXPECT_EQ(error, 0u);
      if (error == 0) EXPECT_EQ(answer.dwCurrentState, DWORD(SERVICE_RUNNING));
      ASSERT_TRUE(run.service().query(&status));
      EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING)) << describe(status);
      EXPECT_EQ(status.dwControlsAccepted, 0x0Fu) << describe(status);
    }
    Sleep(300);
    ASSERT_TRUE(run.service().query(&status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING)) << "after STOP: " << describe(status);
    EXPECT_TRUE(run.tool().running()) << "a STOP control ended the tool";
    EXPECT_TRUE(run.launcher().running()) << "a STOP control ended the launcher";

    // The tool's end ends the service.
    run.release();
    ASSERT_TRUE(run.tool().ends_within(kLongMs));
    DWORD tool_end = GetTickCount();
    EXPECT_EQ(run.tool().exit_code(), kToolExitCode);
    EXPECT_TRUE(run.service().wait_for_state(SERVICE_STOPPED, kLongMs, &status)) << describe(status);
    RecordProperty(std::string(name_of(launcher)) + "_stopped_ms", std::to_string(GetTickCount() - tool_end));
    ASSERT_TRUE(run.launcher().ends_within(kLongMs)) << "the service's process did not exit";
    EXPECT_EQ(run.launcher().exit_code(), 1u);
    EXPECT_EQ(status.dwWin32ExitCode, 0u) << describe(status);
  }
}

// Finds the process whose image is `program` as soon as it runs (polling
// the process list) and holds it, so that its end and exit code can be read
// even when it lives only a moment.
HANDLE catch_process(const std::u16string& program, DWORD timeout_ms) {
  std::u16string file = program.substr(program.find_last_of(u'\\') + 1);
  HANDLE caught = nullptr;
  wait_until(
      [&] {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !caught; more = Process32NextW(snapshot, &entry)) {
          if (lstrcmpiW(entry.szExeFile, wide(file)) != 0) continue;
          HANDLE process = open_process(entry.th32ProcessID);
          if (!process) continue;
          wchar_t image[MAX_PATH * 2];
          DWORD size = MAX_PATH * 2;
          if (QueryFullProcessImageNameW(process, 0, image, &size) && lstrcmpiW(image, wide(program)) == 0) {
            caught = process;
          } else {
            CloseHandle(process);
          }
        }
        CloseHandle(snapshot);
        return caught != nullptr;
      },
      timeout_ms);
  return caught;
}

// What one start of a service without its tool showed.
struct ToolessStart {
  std::string failure;  // the run could not be observed
  DWORD start_error = 0;
  bool ended = false;
  DWORD exit_code = 0;
  bool box = false;
  SeenWindow box_window = {};
  bool window_beside_box = false;  // the process had a SignalWindow too
  // A SignalWindow still there long after ServiceMain would have stopped
  // it: the launcher ran as an ordinary program.
  bool window_kept = false;
  DWORD lived_ms = 0;
  SERVICE_STATUS_PROCESS final_status = {};
  bool stopped = false;
};

// ServiceMain stops the window some 30 ms after the start; this is ample.
const DWORD kServiceWindowGoneMs = 1000;

ToolessStart start_without_tool(Launcher launcher) {
  ToolessStart seen;
  ServiceRun run(launcher, false);
  if (!run.created(&seen.failure)) return seen;
  HANDLE caught = nullptr;
  std::thread catcher([&] { caught = catch_process(run.install().launcher(), kLongMs); });
  seen.start_error = run.service().start();
  catcher.join();
  run.hold_launcher(caught);
  if (!caught) {
    seen.failure = "the service's process was not seen (start error " + std::to_string(seen.start_error) + ")";
    return seen;
  }
  DWORD pid = GetProcessId(caught);
  DWORD caught_at = GetTickCount();
  // A box would keep the process waiting: look for one, on any window
  // station, until the process has ended, and press OK on it.
  seen.ended = wait_until(
      [&] {
        std::vector<SeenWindow> windows = windows_of(pid);
        if (GetTickCount() - caught_at > kServiceWindowGoneMs && window_of_class(windows, u"SignalWindow")) {
          seen.window_kept = true;
        }
        if (const SeenWindow* box = window_of_class(windows, u"#32770")) {
          if (!seen.box) {
            seen.box = true;
            seen.box_window = *box;
            seen.window_beside_box = window_of_class(windows, u"SignalWindow") != nullptr;
          }
          PostMessageW(box->window, WM_COMMAND, IDOK, 0);
        }
        return !run.launcher().running();
      },
      kLongMs);
  seen.lived_ms = GetTickCount() - caught_at;
  if (seen.ended) seen.exit_code = run.launcher().exit_code();
  seen.stopped = run.service().wait_for_state(SERVICE_STOPPED, kLongMs, &seen.final_status);
  return seen;
}

TEST(E2eFrameworkService, WithoutItsToolShowsNoBoxAndExits) {
  SKIP_UNLESS_SERVICES_CAN_BE_CREATED();
  for (Launcher launcher : kBoth) {
    SCOPED_TRACE(name_of(launcher));
    // A box beside a SignalWindow, or a window kept: the launcher ran as an
    // ordinary program, its service connection taken by another process.
    auto taken_over_in = [](const ToolessStart& seen) {
      return seen.failure.empty() && ((seen.box && seen.window_beside_box) || seen.window_kept);
    };
    int attempts = 0;
    ToolessStart seen = retry_transient(
        [&](int attempt) {
          attempts = attempt + 1;
          return start_without_tool(launcher);
        },
        taken_over_in, kServiceAttempts);
    bool taken_over = taken_over_in(seen);
    RecordProperty(std::string(name_of(launcher)) + "_toolless_attempts", std::to_string(attempts));
    ASSERT_EQ(seen.failure, "");
    EXPECT_FALSE(taken_over) << "in every attempt the launcher kept its SignalWindow: ServiceMain did not run in it "
                                "(another process took the service's place) or did not stop the window";
    EXPECT_FALSE(seen.box) << "box [" << escaped(seen.box_window.title) << "] [" << escaped(seen.box_window.text) << "]"
                           << (seen.window_beside_box ? " beside a SignalWindow in every attempt" : "");
    ASSERT_TRUE(seen.ended) << "the service's process did not exit";
    EXPECT_EQ(seen.exit_code, DWORD(ERROR_FILE_NOT_FOUND))
        << "after " << seen.lived_ms << " ms; " << describe(seen.final_status);
    EXPECT_TRUE(seen.stopped) << describe(seen.final_status);
    // The failure reaches the service control manager, not a success.
    EXPECT_EQ(seen.final_status.dwWin32ExitCode, DWORD(ERROR_FILE_NOT_FOUND)) << describe(seen.final_status);
    // What the service control manager makes of it.
    RecordProperty(std::string(name_of(launcher)) + "_start_error", std::to_string(seen.start_error));
    RecordProperty(std::string(name_of(launcher)) + "_stopped_status", describe(seen.final_status));
  }
}

// --- the shutdown while the service probe is blocked -------------------------------

// A StartServiceCtrlDispatcherW call of this process (not a service) on a
// thread of its own, made just before launchers start: while it has not
// returned, the probe of a launcher started after it is blocked as well. The
// thread may outlive the test; its state is never freed.
class ReferenceProbe {
 public:
  ReferenceProbe() : state_(new State) {
    state_->started = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, run, state_, 0, nullptr);
    if (thread) CloseHandle(thread);
    state_->thread_made = thread != nullptr;
  }
  bool blocked() const { return state_->thread_made && !state_->returned.load(); }
  bool failed_with(DWORD error) const { return state_->returned.load() && state_->error.load() == error; }
  std::string describe() const {
    if (!state_->thread_made) return "no reference thread";
    if (!state_->returned.load()) return "still blocked";
    return "returned after " + std::to_string(state_->took.load()) + " ms with error " +
           std::to_string(state_->error.load());
  }

 private:
  struct State {
    DWORD started = 0;
    bool thread_made = false;
    std::atomic<bool> returned{false};
    std::atomic<DWORD> took{0};
    std::atomic<DWORD> error{0};
  };
  static void WINAPI never_run(DWORD, LPWSTR*) {}
  static DWORD WINAPI run(void* parameter) {
    State* state = static_cast<State*>(parameter);
    static wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[2] = {{name, never_run}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) state->error.store(GetLastError());
    state->took.store(GetTickCount() - state->started);
    state->returned.store(true);
    return 0;
  }
  State* state_;
};

// The test builds of the launchers whose service dispatcher call refuses at
// once, as Windows refuses it for every start that the service control
// manager did not make (see dispatcher_refused_windows.cpp).
std::u16string dispatcher_refused_build(Launcher launcher) {
  return test_program(
      u16(launcher == Launcher::kOrvane ? E2E_ORVANE_DISPATCHER_REFUSED : E2E_KELMIS_DISPATCHER_REFUSED));
}

// Under Wine, the service probe of a process that was not started as a
// service stays blocked for about ten seconds while some service process
// runs. A launcher service of the test's own runs throughout, so the probe of
// every launcher started meanwhile blocks; the launcher must still exit as
// soon as its tool has ended. On Windows the probe fails at once with 1063.
// A hang check with a generous bound, not a timing benchmark.
//
// The same runs with the test builds on the Windows start-up path show that
// path under test under Wine too: the probe refuses at once, so the
// dispatcher thread has ended long before the tool does, and the shutdown
// neither waits for it to settle nor ends it by force (no SetThreadPriority,
// no TerminateThread).
TEST(E2eFrameworkShutdown, ExitsPromptlyAfterTheToolWhileTheProbeIsBlocked) {
  const bool wine = running_under_wine();
  SERVICE_STATUS_PROCESS status = {};
  std::string why;
  std::unique_ptr<ServiceRun> keeper;
  if (wine) {
    keeper = running_service(Launcher::kOrvane, &status, &why);
    ASSERT_NE(keeper, nullptr) << why;
  }

  // A process may make the call only once: one reference for all runs,
  // which take far less than the ten seconds.
  ReferenceProbe reference;
  for (bool windows_path_build : {false, true}) {
    for (Launcher launcher : kBoth) {
      std::string name = std::string(name_of(launcher)) + (windows_path_build ? "_dispatcher_refused" : "");
      SCOPED_TRACE(name);
      TempDir trace_dir(u"calls");
      ASSERT_TRUE(trace_dir.ok());
      std::u16string trace = trace_dir.file(u"calls.txt");
      std::unique_ptr<ScopedVariable> build;
      if (windows_path_build) {
        build = std::make_unique<ScopedVariable>(
            launcher == Launcher::kOrvane ? u"LAUNCHERS_E2E_ORVANE" : u"LAUNCHERS_E2E_KELMIS",
            dispatcher_refused_build(launcher));
      }
      WaitingRun run(launcher, {u"LAUNCHER_CALL_TRACE=" + trace});
      ASSERT_TRUE(run.started());
      ASSERT_TRUE(run.tool_running(&why)) << why;
      run.release();
      ASSERT_TRUE(run.tool().ends_within(kLongMs));
      DWORD tool_end = GetTickCount();
      bool ended = run.launcher().wait(kLongMs);
      DWORD took = GetTickCount() - tool_end;
      bool reference_blocked = reference.blocked();
      RecordProperty(name + "_exit_after_tool_ms", std::to_string(took));
      ASSERT_TRUE(ended) << "the launcher still runs " << kLongMs << " ms after its tool ended";
      EXPECT_EQ(run.launcher().exit_code(), 1u);
      if (wine) {
        EXPECT_TRUE(reference_blocked) << "the condition for a blocked probe did not hold: the reference probe "
                                       << reference.describe();
      } else {
        EXPECT_TRUE(reference.failed_with(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT))
            << system_name() << " did not fail the probe at once: the reference probe " << reference.describe();
      }
      EXPECT_LT(took, 3000u) << "the launcher took " << took << " ms to exit after its tool ended";
      if (windows_path_build) {
        std::string calls;
        read_file(trace, &calls);
        EXPECT_EQ(calls, "StartServiceCtrlDispatcherW refused with 1063\n")
            << "the probe was not refused at once, or its thread was ended by force";
      }
    }
  }

  if (keeper) {
    keeper->release();
    EXPECT_TRUE(keeper->service().wait_for_state(SERVICE_STOPPED, kLongMs, &status)) << describe(status);
    EXPECT_TRUE(keeper->launcher().ends_within(kLongMs));
  }
}

// --- a storm ------------------------------------------------------------------------

// The time from a process's start to its exit, in milliseconds: the exit
// times of two ended processes compared.
int64_t exit_time_ms(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  return int64_t((uint64_t(exited.dwHighDateTime) << 32 | exited.dwLowDateTime) / 10000);
}

BOOL WINAPI claim_console_event(DWORD) { return TRUE; }

// Sends CTRL_C_EVENT to every process attached to the console of process
// `pid` (the launcher alone: its tool has a console of its own). This
// process attaches for the moment and claims the event for itself.
bool console_interrupt(DWORD pid) {
  FreeConsole();
  if (!AttachConsole(pid)) return false;
  bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
  FreeConsole();
  return sent;
}

struct StormEvent {
  enum Kind { kPost, kSend, kHeldSend, kConsole, kControl, kRelease, kReleaseService } kind;
  DWORD at_ms;
  size_t target;
  int count;
};

std::string describe(const StormEvent& e) {
  static const char* const kinds[] = {"post", "send", "held send", "console", "control", "release", "release service"};
  return std::to_string(e.at_ms) + " ms " + kinds[e.kind] + " #" + std::to_string(e.target) + " x" +
         std::to_string(e.count);
}

// Many launchers at once, with and without a console, and two launcher
// services, while stop messages (posted, sent, and sent by senders that wait
// for the answer), console interrupts and service controls arrive at moments
// drawn from a seeded schedule, and each tool is released at a moment of its
// own. No launcher may crash or hang: each ends with exit code 1 within a
// bound after its tool ended. LAUNCHERS_STORM_SEED picks another schedule.
TEST(E2eFrameworkStorm, LaunchersSurviveMessagesInterruptsAndControlsAtRandomMoments) {
  uint32_t seed = 20261208;
  if (const char* given = getenv("LAUNCHERS_STORM_SEED")) seed = uint32_t(strtoul(given, nullptr, 10));
  SCOPED_TRACE("LAUNCHERS_STORM_SEED=" + std::to_string(seed));
  RecordProperty("seed", std::to_string(seed));
  TestRandom random(seed);
  const size_t kLaunches = 36;
  const DWORD kSpanMs = 4000;
  // Generous: a launcher exits within milliseconds of its tool; Wine under
  // load and a queue of thousands of posted messages take longer.
  const int64_t kExitBoundMs = 15000;

  SetConsoleCtrlHandler(claim_console_event, TRUE);
  std::string why;
  SERVICE_STATUS_PROCESS status = {};
  // Services where this process may create them (on Windows that takes an
  // administrator).
  std::vector<std::unique_ptr<ServiceRun>> services;
  std::string no_services;
  for (Launcher launcher : kBoth) {
    if (!can_create_services(&no_services)) break;
    services.push_back(running_service(launcher, &status, &why));
    ASSERT_NE(services.back(), nullptr) << why;
  }
  RecordProperty("services", services.empty() ? no_services : std::to_string(services.size()));

  std::vector<std::unique_ptr<WaitingRun>> runs;
  std::vector<bool> with_console;
  for (size_t i = 0; i < kLaunches; ++i) {
    with_console.push_back(i % 3 == 2);
    runs.push_back(std::make_unique<WaitingRun>(i % 2 ? Launcher::kKelmis : Launcher::kOrvane,
                                                std::vector<std::u16string>{},
                                                with_console.back() ? DWORD(CREATE_NEW_CONSOLE) : 0));
  }
  // The framework starts before the tool: by the time the tool runs, a
  // launcher without console input has its window. (Windows gives a GUI
  // program the console it is asked to make; Wine does not, so under Wine
  // every launcher has the window and gets no console interrupts.)
  std::vector<HWND> windows(kLaunches, nullptr);
  size_t console_launches = 0;
  for (size_t i = 0; i < kLaunches; ++i) {
    SCOPED_TRACE("launch " + std::to_string(i));
    ASSERT_TRUE(runs[i]->started());
    ASSERT_TRUE(runs[i]->tool_running(&why)) << why;
    windows[i] = find_process_window(runs[i]->launcher().id(), u"SignalWindow", with_console[i] ? 200 : 5000,
                                     runs[i]->launcher().handle());
    if (!windows[i]) {
      ASSERT_TRUE(with_console[i]) << "no SignalWindow";
      ++console_launches;
    }
    with_console[i] = windows[i] == nullptr;
  }

  // The schedule: each launcher's and each service's tool released at a
  // moment of its own, and 300 disturbances in between.
  std::vector<StormEvent> schedule;
  auto moment = [&] { return DWORD(random.below(kSpanMs)); };
  for (size_t i = 0; i < kLaunches; ++i) schedule.push_back({StormEvent::kRelease, moment(), i, 1});
  for (size_t i = 0; i < services.size(); ++i) {
    schedule.push_back({StormEvent::kReleaseService, kSpanMs / 2 + moment() / 2, i, 1});
  }
  for (int n = 0; n < 300; ++n) {
    size_t launch = random.below(kLaunches);
    StormEvent::Kind kind;
    switch (random.below(5)) {
      case 0: kind = StormEvent::kPost; break;
      case 1: kind = StormEvent::kSend; break;
      case 2: kind = StormEvent::kHeldSend; break;
      case 3: kind = StormEvent::kConsole; break;
      default: kind = StormEvent::kControl; break;
    }
    if (kind == StormEvent::kControl && services.empty()) kind = StormEvent::kPost;
    if (kind == StormEvent::kControl)
      launch = random.below(uint32_t(services.size()));
    else if (with_console[launch] != (kind == StormEvent::kConsole)) {
      kind = with_console[launch] ? StormEvent::kConsole : StormEvent::kPost;
    }
    // Posts come in floods of up to 3,000 messages; sends in handfuls.
    schedule.push_back({kind, moment(), launch, 1 + int(random.below(kind == StormEvent::kPost ? 3000 : 400))});
  }
  std::stable_sort(schedule.begin(), schedule.end(),
                   [](const StormEvent& a, const StormEvent& b) { return a.at_ms < b.at_ms; });
  std::string schedule_text;
  for (const StormEvent& e : schedule) schedule_text += describe(e) + "\n";
  SCOPED_TRACE("schedule:\n" + schedule_text);

  std::vector<std::unique_ptr<PendingSend>> held;
  std::vector<bool> released(kLaunches, false);
  int interrupts = 0, interrupts_scheduled = 0, posted = 0, windows_lost = 0;
  const DWORD start = GetTickCount();
  for (const StormEvent& e : schedule) {
    while (GetTickCount() - start < e.at_ms) Sleep(1);
    HWND window = e.target < windows.size() ? windows[e.target] : nullptr;
    const StopMessage& stop = kStopMessages[size_t(e.count) % 3];
    switch (e.kind) {
      case StormEvent::kPost:
        for (int k = 0; k < e.count; ++k) posted += PostMessageW(window, stop.msg, stop.wparam, 0) ? 1 : 0;
        break;
      case StormEvent::kSend:
        for (int k = 0; k < e.count % 8; ++k) {
          DWORD_PTR answer = 0;
          SendMessageTimeoutW(window, stop.msg, stop.wparam, 0, SMTO_NORMAL, 5, &answer);
        }
        break;
      case StormEvent::kHeldSend:
        if (!released[e.target]) held.push_back(std::make_unique<PendingSend>(window, stop.msg, stop.wparam, 0));
        break;
      case StormEvent::kConsole:
        ++interrupts_scheduled;
        if (!released[e.target] && console_interrupt(runs[e.target]->launcher().id())) ++interrupts;
        break;
      case StormEvent::kControl: {
        // Not STOP: under Wine a control that follows STOP makes Wine's
        // service manager end the service's process.
        const DWORD controls[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE,
                                  SERVICE_CONTROL_INTERROGATE};
        SERVICE_STATUS answer = {};
        services[e.target]->service().control(controls[size_t(e.count) % 4], &answer);
        break;
      }
      case StormEvent::kRelease:
        // Until its tool ends the launcher keeps its window, whatever came.
        if (window && !IsWindow(window)) ++windows_lost;
        runs[e.target]->release();
        released[e.target] = true;
        break;
      case StormEvent::kReleaseService: services[e.target]->release(); break;
    }
  }

  int64_t worst_ms = 0;
  for (size_t i = 0; i < kLaunches; ++i) {
    SCOPED_TRACE("launch " + std::to_string(i) + (with_console[i] ? " (console)" : " (window)"));
    WaitingRun& run = *runs[i];
    ASSERT_TRUE(run.tool().ends_within(kLongMs)) << "the tool did not end";
    EXPECT_EQ(run.tool().exit_code(), kToolExitCode) << "the tool was ended";
    bool ended = run.launcher().wait(DWORD(kExitBoundMs));
    EXPECT_TRUE(ended) << "the launcher hangs";
    if (!ended) continue;
    EXPECT_EQ(run.launcher().exit_code(), 1u);
    int64_t delay = exit_time_ms(run.launcher().handle()) - exit_time_ms(run.tool().get());
    EXPECT_LE(delay, kExitBoundMs);
    worst_ms = std::max(worst_ms, delay);
  }
  for (size_t i = 0; i < services.size(); ++i) {
    SCOPED_TRACE("service " + std::to_string(i));
    EXPECT_TRUE(services[i]->service().wait_for_state(SERVICE_STOPPED, kLongMs, &status)) << describe(status);
    ASSERT_TRUE(services[i]->launcher().ends_within(kLongMs)) << "the service's process hangs";
    EXPECT_EQ(services[i]->launcher().exit_code(), 1u);
    int64_t delay = exit_time_ms(services[i]->launcher().get()) - exit_time_ms(services[i]->tool().get());
    worst_ms = std::max(worst_ms, delay);
  }
  // Senders that waited are answered once their launcher has ended.
  for (auto& pending : held) EXPECT_TRUE(pending->answered(kLongMs));
  SetConsoleCtrlHandler(claim_console_event, FALSE);
  EXPECT_EQ(windows_lost, 0) << "launchers lost their window while their tool ran";
  // The disturbances did arrive.
  EXPECT_GT(posted, 10000);
  if (interrupts_scheduled > 10) EXPECT_GT(interrupts, 0) << "no console interrupt could be sent";
  RecordProperty("launches", int(kLaunches + services.size()));
  RecordProperty("console_launches", int(console_launches));
  RecordProperty("posted", posted);
  RecordProperty("console_interrupts", interrupts);
  RecordProperty("worst_exit_after_tool_ms", std::to_string(worst_ms));
}

}  // namespace
