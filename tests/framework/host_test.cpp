// The process framework in a process of its own: tools/framework_host, a
// GUI-subsystem program like the launchers, started without a console. The
// checks go through the helpers of framework_probe.h so that they can be
// repeated against the launchers themselves.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/framework_probe.h"
#include "support/system.h"
#include "support/windows_process.h"

namespace {

// One run of the host: it brings the framework up, then waits for its stop
// file. The destructor ends a host that is still running.
class HostRun {
 public:
  explicit HostRun(DWORD creation_flags = 0) : dir_(u"fwhost") {
    stop_file_ = dir_.file(u"stop");
    report_file_ = dir_.file(u"report.txt");
    RunOptions options;
    options.argv = {framework_host_program(), stop_file_, report_file_};
    options.creation_flags = creation_flags;
    process_ = std::make_unique<TestProcess>(options);
  }
  bool started() const { return dir_.ok() && process_->started(); }
  TestProcess& process() { return *process_; }
  HWND find_window(DWORD timeout_ms) {
    return find_process_window(process_->id(), u"SignalWindow", timeout_ms, process_->handle());
  }
  // True once the host has seen its first signal.
  bool signalled(DWORD timeout_ms) { return wait_for_file(report_file_ + u".signal", timeout_ms); }
  void request_stop() { ASSERT_TRUE(write_file(stop_file_, "stop")); }
  std::map<std::string, std::string> report() { return read_key_values(report_file_); }

 private:
  TempDir dir_;
  std::u16string stop_file_;
  std::u16string report_file_;
  std::unique_ptr<TestProcess> process_;
};

TEST(FrameworkHost, HiddenWindowHasItsClassStyleAndPlace) {
  HostRun host;
  ASSERT_TRUE(host.started());
  HWND window = host.find_window(20000);
  ASSERT_NE(window, nullptr);
  expect_signal_window(window);

  host.request_stop();
  ASSERT_TRUE(host.process().wait(20000));
  EXPECT_EQ(host.process().exit_code(), 0u);
  auto report = host.report();
  EXPECT_EQ(report["window"], "1");
  EXPECT_EQ(report["service"], "0");
  EXPECT_EQ(report["flags"], "0");
  EXPECT_FALSE(IsWindow(window));
}

TEST(FrameworkHost, CloseAndEndSessionAreAnsweredOnlyAfterTheShutdown) {
  struct Case {
    UINT msg;
    WPARAM wparam;
  } cases[] = {{WM_CLOSE, 0}, {WM_ENDSESSION, FALSE}, {WM_ENDSESSION, TRUE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.msg << " wParam " << c.wparam);
    HostRun host;
    ASSERT_TRUE(host.started());
    HWND window = host.find_window(20000);
    ASSERT_NE(window, nullptr);
    // A sender that gives up after a while gets no answer...
    DWORD_PTR ignored = 0;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(window, c.msg, c.wparam, 0, SMTO_NORMAL, 500, &ignored), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
    ASSERT_TRUE(host.signalled(20000));
    {
      // ...and one that waits is answered only after the shutdown.
      PendingSend close(window, c.msg, c.wparam, 0);
      DWORD_PTR answer = 0;
      EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer), 0)
          << "the window stopped answering";
      EXPECT_FALSE(close.answered(300));
      EXPECT_TRUE(IsWindow(window));
      EXPECT_FALSE(host.process().wait(0));
      host.request_stop();
      EXPECT_TRUE(close.answered(20000));
      EXPECT_EQ(close.result(), 0);
    }
    ASSERT_TRUE(host.process().wait(20000));
    EXPECT_EQ(host.process().exit_code(), 1u);  // signal 1 only
    EXPECT_EQ(host.report()["flags"], "1");
  }
}

TEST(FrameworkHost, QueryEndSessionGetsTheDefaultAnswer) {
  HostRun host;
  ASSERT_TRUE(host.started());
  HWND window = host.find_window(20000);
  ASSERT_NE(window, nullptr);
  for (LPARAM reason : {LPARAM(0), LPARAM(ENDSESSION_LOGOFF)}) {
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 10000, &answer), 0);
    EXPECT_EQ(answer, DWORD_PTR(TRUE));
  }
  EXPECT_TRUE(IsWindow(window));
  host.request_stop();
  ASSERT_TRUE(host.process().wait(20000));
  EXPECT_EQ(host.process().exit_code(), 0u);
  EXPECT_EQ(host.report()["flags"], "0");
}

// Under Wine the service probe of an ordinary process blocks for about ten
// seconds while the service process that Wine's service manager started last
// still runs (Wine's own device services on a fresh server; here a service of
// the test's own, so that the probe blocks for sure). The host must not wait
// for it. On Windows the probe fails at once: nothing is left to end.
TEST(FrameworkHost, ExitsPromptlyWhileTheServiceProbeIsBlocked) {
  const bool wine = running_under_wine();
  TempDir keeper_dir(u"fwkeep");
  ASSERT_TRUE(keeper_dir.ok());
  std::u16string keeper_stop = keeper_dir.file(u"stop");
  std::string suffix = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
  std::unique_ptr<TestService> keeper;
  SERVICE_STATUS_PROCESS status = {};
  if (wine) {
    keeper = std::make_unique<TestService>(u"framework_keeper_" + std::u16string(suffix.begin(), suffix.end()),
                                           quoted_command_line({framework_host_program(), keeper_stop}));
    ASSERT_EQ(keeper->create_error(), 0u);
    ASSERT_EQ(keeper->start(), 0u);
    ASSERT_TRUE(keeper->wait_for_state(SERVICE_RUNNING, 30000, &status));
  }

  HostRun host;
  ASSERT_TRUE(host.started());
  ASSERT_NE(host.find_window(20000), nullptr);
  host.request_stop();
  DWORD requested = GetTickCount();
  ASSERT_TRUE(host.process().wait(30000));
  DWORD took = GetTickCount() - requested;
  auto report = host.report();
  if (wine) {
    EXPECT_EQ(report["dispatcher_running"], "1") << "the probe had already failed: nothing was forced";
  } else {
    EXPECT_EQ(report["dispatcher_running"], "0") << system_name() << " did not fail the probe at once";
  }
  EXPECT_EQ(report["service"], "0");
  long long stop_us = std::stoll(report.count("stop_us") ? report["stop_us"] : "-1");
  RecordProperty("stop_us", std::to_string(stop_us));
  RecordProperty("exit_ms", std::to_string(took));
  // Far from the probe's ten seconds: the stop lets the probe settle for a
  // quarter of a second, then ends it.
  EXPECT_GE(stop_us, 0);
  EXPECT_LT(stop_us, 2000000);
  EXPECT_LT(took, 5000u);

  if (keeper) {
    ASSERT_TRUE(write_file(keeper_stop, "stop"));
    EXPECT_TRUE(keeper->wait_for_state(SERVICE_STOPPED, 30000, &status));
  }
}

}  // namespace
