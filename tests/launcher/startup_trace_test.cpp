// The start-up and exit order of a launcher, observed in the trace build of
// orvane (the same sources, with a recorder in place of the at-exit
// registration): the DLL search limited to System32 first of all (a DLL
// planted beside the launcher loads by name before that step and never
// after it), usertext defaults, then the signal hub, then the locale
// settings, then the native table and the user name; at exit the hub is torn
// down first and the process lock deleted last.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/tool_arguments.h"
#include "support/message_box.h"
#include "support/test_support.h"
#include "support/windows_process.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return lines;
}

TEST(LauncherStartupTrace, StartUpAndExitFollowTheSystemOrder) {
  TempDir dir(u"trace");
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(copy_file(test_program(u16(STARTUP_TRACE_LAUNCHER)), dir.file(u"orvane.exe")));
  ASSERT_TRUE(copy_file(probe_program(), dir.file(kToolFileName)));
  ASSERT_TRUE(copy_file(test_program(u16(PLANTED_DLL)), dir.file(u"planted.dll")));

  RunOptions options;
  options.argv = {dir.file(u"orvane.exe"), u"x"};
  options.use_environment = true;
  options.environment =
      environment_with({u"STARTUP_TRACE_FILE=" + dir.file(u"trace.txt"), u"PROBE_REPORT=" + dir.file(u"report.txt"),
                        u"STARTUP_TRACE_PLANTED_DLL=planted.dll"},
                       {u"VARNO_USERTEXTTESTMODE"});
  // Every run writes its trace anew; one whose start of the tool Wine
  // failed transiently is repeated.
  struct Run {
    DWORD start_error = 0;
    bool ended = false;
    DWORD exit_code = 0;
    MessageBoxSeen box;
  };
  Run run = retry_transient(
      [&](int) {
        DeleteFileW(wide(dir.file(u"trace.txt")));
        TestProcess launcher(options);
        Run result;
        result.start_error = launcher.start_error();
        if (launcher.started()) {
          result.ended = wait_pressing_ok(launcher.handle(), launcher.id(), 60000, &result.box);
          if (result.ended) result.exit_code = launcher.exit_code();
        }
        return result;
      },
      [](const Run& result) { return box_names_wine_start_failure(result.box); });
  ASSERT_EQ(run.start_error, 0u);
  ASSERT_TRUE(run.ended) << "the launcher hangs";
  ASSERT_FALSE(run.box.found) << utf8(run.box.text);
  EXPECT_EQ(run.exit_code, 1u) << "the tool ran and ended";
  EXPECT_TRUE(file_exists(dir.file(u"report.txt"))) << "the tool was started";

  std::string trace;
  ASSERT_TRUE(read_file(dir.file(u"trace.txt"), &trace));
  const std::vector<std::string> expected = {
      "step: dll_search_system32 (planted DLL loads)",
      "step: usertext_defaults (planted DLL refused)",
      // The first default creates the catalog, which reads the test-mode
      // variable through the environment copy: the process lock comes to
      // life, then the process info cache, then the catalog itself.
      "register: unnamed",
      "register: process_info_cache",
      "register: usertext_catalog",
      "step: signal_hub (planted DLL refused)",
      "register: signal_hub",
      "step: locale_settings (planted DLL refused)",
      "step: native_table (planted DLL refused)",
      "step: user_name (planted DLL refused)",
      "step: process_lock (planted DLL refused)",
      "step: entry begins (planted DLL refused)",
      "step: entry ends (planted DLL refused)",
      // Reverse order of registration.
      "exit: signal_hub",
      "exit: usertext_catalog",
      "exit: process_info_cache",
      "exit: process_lock",
  };
  EXPECT_EQ(lines_of(trace), expected) << trace;
}

}  // namespace
