// The test tool itself, started through the test helpers (plain
// CreateProcessW): its controls and both forms of its report.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/probe_report.h"
#include "support/system.h"
#include "support/test_support.h"
#include "support/windows_process.h"

namespace {

// The current environment without any probe control, plus `changes`.
std::vector<std::u16string> probe_environment(const std::vector<std::u16string>& changes) {
  std::vector<std::u16string> removals;
  for (const std::u16string& entry : current_environment()) {
    std::u16string name = environment_name(entry);
    if (name.size() > 6 && (name.compare(0, 6, u"PROBE_") == 0 || name.compare(0, 6, u"probe_") == 0)) {
      removals.push_back(name);
    }
  }
  return environment_with(changes, removals);
}

RunOptions probe_run(const std::vector<std::u16string>& args, const std::vector<std::u16string>& changes) {
  RunOptions options;
  options.argv = {probe_program()};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.use_environment = true;
  options.environment = probe_environment(changes);
  options.creation_flags = CREATE_NO_WINDOW;
  return options;
}

TEST(ProcessProbeTool, ReportToStandardOutput) {
  RunOptions options = probe_run({u"a b", u""}, {u"PROBE_REPORT=-", u"PROBE_SHOW=PROBE_REPORT;NOT_SET_ANYWHERE"});
  options.capture_output = true;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(parse_probe_report(run.output, &report, &error)) << error << "\n" << run.output;
  EXPECT_EQ(report.pid, run.id);
  EXPECT_EQ(report.args, (std::vector<std::u16string>{probe_program(), u"a b", u""}));
  EXPECT_EQ(report.command_line, quoted_command_line(options.argv));
  EXPECT_EQ(report.module, probe_program());
  EXPECT_EQ(report.handles[1].type, "pipe");
  ASSERT_EQ(report.variables.size(), 2u);
  EXPECT_EQ(report.variables[0].value, u"-");
  EXPECT_FALSE(report.variables[1].present);
  EXPECT_FALSE(report.env_names.empty());
}

TEST(ProcessProbeTool, EnvironmentNamesInTheOrderGiven) {
  // An unsorted block is the child's environment as it stands.
  RunOptions options;
  options.argv = {probe_program()};
  options.use_environment = true;
  options.environment = {u"Zed=1", u"PROBE_REPORT=-", u"=D:=D:\\", u"a_b=2", u"A=3", u"\u00e9=4", u"PROBE_SHOW=Zed"};
  options.capture_output = true;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(parse_probe_report(run.output, &report, &error)) << error;
  std::vector<std::u16string> given;
  for (const std::u16string& entry : options.environment) given.push_back(environment_name(entry));
  std::vector<std::u16string> seen;
  for (const std::u16string& name : report.env_names) {
    if (std::find(given.begin(), given.end(), name) != given.end()) seen.push_back(name);
  }
  EXPECT_EQ(seen, given);
  ASSERT_NE(report.variable(u"Zed"), nullptr);
  EXPECT_EQ(report.variable(u"Zed")->value, u"1");
}

TEST(ProcessProbeTool, ReportForPeopleWithoutControls) {
  RunOptions options = probe_run({u"convert", u"-g", u"C:\\x y\\z"}, {});
  options.capture_output = true;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  EXPECT_EQ(run.exit_code, 0u);
  for (const char* expected : {"arguments: 4\n", "  [1] convert\n", "  [2] -g\n", "  [3] C:\\x y\\z\n",
                               "standard output: pipe\n", "error mode: 0x"}) {
    EXPECT_NE(run.output.find(expected), std::string::npos) << expected << " in\n" << run.output;
  }
  EXPECT_EQ(run.output.find("probe 1\n"), std::string::npos) << "no machine report without PROBE_REPORT";
}

TEST(ProcessProbeTool, FolderGetsOneReportPerProcess) {
  TempDir dir(u"reports");
  ASSERT_TRUE(dir.ok());
  std::set<DWORD> ids;
  for (int i = 0; i < 2; ++i) {
    RunResult run = run_process(probe_run({}, {u"PROBE_REPORT=" + dir.path()}));
    ASSERT_EQ(run.start_error, 0u);
    ids.insert(run.id);
    ProbeReport report;
    std::string error;
    std::u16string name = u16(std::to_string(run.id) + ".txt");
    ASSERT_TRUE(load_probe_report(dir.file(name), &report, &error)) << error;
    EXPECT_EQ(report.pid, run.id);
  }
  EXPECT_EQ(ids.size(), 2u);
}

TEST(ProcessProbeTool, ReportReplacesAnOldFileWhole) {
  TempDir dir(u"replace");
  std::u16string path = dir.file(u"r.txt");
  ASSERT_TRUE(write_file(path, std::string(100000, 'x')));
  RunResult run = run_process(probe_run({u"new"}, {u"PROBE_REPORT=" + path}));
  ASSERT_EQ(run.start_error, 0u);
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(load_probe_report(path, &report, &error)) << error;
  EXPECT_EQ(report.args.back(), u"new");
}

TEST(ProcessProbeTool, ExitCodeForms) {
  struct Case {
    const char16_t* value;
    DWORD expected;
  };
  const Case cases[] = {
      {u"0", 0},          {u"42", 42}, {u"0x10", 16}, {u"0XfF", 255}, {u"-1", 0xFFFFFFFF}, {u"4294967295", 0xFFFFFFFF},
      {u"4294967296", 0}, {u"12a", 0}, {u"", 0},      {u"0x", 0}};
  TempDir dir(u"exit");
  for (const Case& c : cases) {
    RunResult run =
        run_process(probe_run({}, {u"PROBE_REPORT=" + dir.file(u"r.txt"), u"PROBE_EXIT=" + std::u16string(c.value)}));
    ASSERT_EQ(run.start_error, 0u);
    EXPECT_EQ(run.exit_code, c.expected) << escaped(c.value);
  }
}

TEST(ProcessProbeTool, ReadsFedInputAndWritesBothLines) {
  TempDir dir(u"io");
  std::u16string path = dir.file(u"r.txt");
  RunOptions options = probe_run(
      {}, {u"PROBE_REPORT=" + path, u"PROBE_STDIN=1", u"PROBE_STDOUT=out \U0001F600", u"PROBE_STDERR=err\tx"});
  options.feed_input = true;
  options.input = std::string("\x00\x01 bytes \xFF\n", 11);
  options.capture_output = true;
  options.capture_error = true;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  EXPECT_EQ(run.output, "out \xF0\x9F\x98\x80\n");
  EXPECT_EQ(run.error_output, "err\tx\n");
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(load_probe_report(path, &report, &error)) << error;
  EXPECT_TRUE(report.stdin_read.asked);
  EXPECT_EQ(report.stdin_read.error, 0u);
  EXPECT_EQ(report.stdin_data, options.input);
  EXPECT_EQ(report.handles[0].type, "pipe");
}

TEST(ProcessProbeTool, WriteToAMissingHandleIsReported) {
  TempDir dir(u"nohandle");
  std::u16string path = dir.file(u"r.txt");
  RunOptions options = probe_run({}, {u"PROBE_REPORT=" + path, u"PROBE_STDOUT=lost"});
  options.std_output = INVALID_HANDLE_VALUE;
  options.std_error = INVALID_HANDLE_VALUE;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(load_probe_report(path, &report, &error)) << error;
  EXPECT_FALSE(report.handles[1].present);
  EXPECT_EQ(report.handles[1].type, "none");
  EXPECT_TRUE(report.stdout_write.asked);
  EXPECT_NE(report.stdout_write.error, 0u);
}

TEST(ProcessProbeTool, WaitsForAFileOrItsLimit) {
  TempDir dir(u"wait");
  std::u16string path = dir.file(u"r.txt");
  std::u16string release = dir.file(u"go");
  TestProcess child(probe_run({}, {u"PROBE_REPORT=" + path, u"PROBE_WAIT_FOR=" + release, u"PROBE_EXIT=5"}));
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(wait_for_file(path, 60000));
  EXPECT_FALSE(child.wait(0)) << "the probe must wait for the file";
  ASSERT_TRUE(write_file(release, ""));
  EXPECT_TRUE(child.wait(60000));
  EXPECT_EQ(child.exit_code(), 5u);

  // A limit ends the wait even without the file.
  RunResult run = run_process(
      probe_run({}, {u"PROBE_REPORT=" + path, u"PROBE_WAIT_FOR=" + dir.file(u"never"), u"PROBE_WAIT_LIMIT=50"}));
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
}

TEST(ProcessProbeTool, CrashEndsWithTheAccessViolationCode) {
  TempDir dir(u"crash");
  RunResult run = run_process(probe_run({}, {u"PROBE_REPORT=" + dir.file(u"r.txt"), u"PROBE_CRASH=1"}));
  ASSERT_EQ(run.start_error, 0u);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0xC0000005u);
  EXPECT_TRUE(file_exists(dir.file(u"r.txt"))) << "the report comes before the crash";
}

TEST(ProcessProbeTool, UnwritableReportIsSaidOnStandardError) {
  RunOptions options = probe_run({}, {u"PROBE_REPORT=C:\\no\\such\\folder\\r.txt", u"PROBE_EXIT=3"});
  options.capture_error = true;
  RunResult run = run_process(options);
  ASSERT_EQ(run.start_error, 0u);
  EXPECT_EQ(run.exit_code, 3u);
  EXPECT_NE(run.error_output.find("probe: cannot write the report"), std::string::npos) << run.error_output;
}

TEST(ProcessProbeTool, PathsBetweenUnixAndWine) {
  if (!running_under_wine()) GTEST_SKIP() << system_name() << " has no Unix paths";
  std::u16string program = probe_program();
  std::string unix_name = unix_path(program);
  ASSERT_FALSE(unix_name.empty());
  EXPECT_EQ(unix_name[0], '/');
  EXPECT_EQ(full_path(windows_path(unix_name)), full_path(program));
}

}  // namespace
