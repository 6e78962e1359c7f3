// tools/framework_host run by Wine's service control manager: the framework
// recognises the service, reports its state, turns controls into signals and
// reports SERVICE_STOPPED when its work ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/framework_probe.h"
#include "support/system.h"
#include "support/windows_process.h"

namespace {

std::u16string number(unsigned long value) {
  std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

TEST(FrameworkService, RunsAcceptsControlsAndStopsWhenItsWorkEnds) {
  SKIP_UNLESS_SERVICES_CAN_BE_CREATED();
  TempDir dir(u"fwsvc");
  ASSERT_TRUE(dir.ok());
  std::u16string stop_file = dir.file(u"stop");
  std::u16string report_file = dir.file(u"report.txt");
  std::u16string name = u"framework_host_test_" + number(GetCurrentProcessId()) + u"_" + number(GetTickCount());
  TestService service(name,
                      quoted_command_line({framework_host_program(), stop_file, report_file, u"--query-wait=10000"}));
  ASSERT_EQ(service.create_error(), 0u);
  ASSERT_EQ(service.start(), 0u);

  SERVICE_STATUS_PROCESS status = {};
  ASSERT_TRUE(service.wait_for_state(SERVICE_RUNNING, 30000, &status)) << "state " << status.dwCurrentState;
  EXPECT_EQ(status.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(status.dwControlsAccepted, 0x0Fu);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
  EXPECT_EQ(status.dwCheckPoint, 0u);
  EXPECT_EQ(status.dwWaitHint, 0u);
  ASSERT_NE(status.dwProcessId, 0u);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId);
  ASSERT_NE(process, nullptr);
  // A service shows no window: ServiceMain stopped it before reporting.
  EXPECT_EQ(window_of_class(windows_of(status.dwProcessId), u"SignalWindow"), nullptr);

  // Each control is accepted and the reported state stays SERVICE_RUNNING.
  for (DWORD control :
       {DWORD(SERVICE_CONTROL_PAUSE), DWORD(SERVICE_CONTROL_CONTINUE), DWORD(SERVICE_CONTROL_PARAMCHANGE),
        DWORD(SERVICE_CONTROL_INTERROGATE), DWORD(SERVICE_CONTROL_STOP)}) {
    SCOPED_TRACE(control);
    SERVICE_STATUS answer = {};
    EXPECT_EQ(service.control(control, &answer), 0u);
    EXPECT_EQ(answer.dwCurrentState, DWORD(SERVICE_RUNNING));
    ASSERT_TRUE(service.query(&status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted, 0x0Fu);
  }
  EXPECT_EQ(WaitForSingleObject(process, 0), DWORD(WAIT_TIMEOUT)) << "a STOP control alone ends nothing";

  ASSERT_TRUE(write_file(stop_file, "stop"));
  EXPECT_TRUE(service.wait_for_state(SERVICE_STOPPED, 30000, &status)) << "state " << status.dwCurrentState;
  ASSERT_EQ(WaitForSingleObject(process, 30000), DWORD(WAIT_OBJECT_0));
  DWORD exit_code = 0;
  GetExitCodeProcess(process, &exit_code);
  CloseHandle(process);
  // Stop (STOP), pause, continue, parameters changed: signals 1 to 4.
  EXPECT_EQ(exit_code, 0x0Fu);
  auto report = read_key_values(report_file);
  EXPECT_EQ(report["service"], "1");
  EXPECT_EQ(report["service_query"], "1");
  EXPECT_EQ(report["flags"], "15");
}

}  // namespace
