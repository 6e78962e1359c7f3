// A few starts that also run in the 32-bit tree (where every Wine start is
// slow): one child that checks arguments, environment, directory, handles
// and exit code at once; one that is waited for, ended and collected; one
// failed start.
#include "launch_test_support.h"

#include <algorithm>

namespace {

TEST(ProcessLaunchSmoke, OneChildReceivesEverything) {
  TempDir dir(u"smoke dir");
  ASSERT_TRUE(dir.ok());
  const std::vector<std::u16string> environment = {
      u"b=2", u"A=1", u"_U=0", u"PROBE_EXIT=7", u"PROBE_STDOUT=out \u00e9", u"PROBE_SHOW=A;b",
  };
  TestPipe output;
  ProbeStart start;
  start.args = {u"convert", u"-g", u"", u"a b", u"q\"uote", u"back\\\\", u"\U0001F600", u"\xDC00"};
  start.environment = &environment;
  start.directory = dir.path().c_str();
  start.std_output = output.write;
  start.expected_exit = 7;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  output.close_write();

  std::vector<std::u16string> expected = {probe_program()};
  expected.insert(expected.end(), start.args.begin(), start.args.end());
  EXPECT_EQ(report.args, expected);
  EXPECT_EQ(report.current_directory, dir.path());
  EXPECT_FALSE(report.console_window);
  EXPECT_EQ(report.variable(u"A")->value, u"1");
  std::vector<std::u16string> order;
  for (const std::u16string& name : report.env_names) {
    if (name == u"_U" || name == u"A" || name == u"b") order.push_back(name);
  }
  EXPECT_EQ(order, (std::vector<std::u16string>{u"_U", u"A", u"b"}));
  EXPECT_EQ(report.handles[1].type, "pipe");
  {
    std::string text;
    EXPECT_TRUE(output.read_all(&text)) << "a write end of the pipe stayed open";
    EXPECT_EQ(text, "out \xC3\xA9\n");
  }
  EXPECT_EQ(GetErrorMode(), 0x8001u);
}

TEST(ProcessLaunchSmoke, RunningChildIsWaitedForEndedAndCollected) {
  TempDir dir(u"smoke");
  ScopedVariable report(u"PROBE_REPORT", dir.file(u"r.txt"));
  ScopedVariable wait(u"PROBE_WAIT_FOR", dir.file(u"never"));
  WideArray argv({probe_program()});
  OwnedProcess child;
  ASSERT_EQ(
      start_process_retrying(&child.handle, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
      0u);
  ASSERT_TRUE(wait_for_file(dir.file(u"r.txt"), 120000));
  EXPECT_FALSE(child.handle->ops->Wait(child.handle, 0));
  child.handle->ops->Terminate(child.handle);
  EXPECT_TRUE(child.handle->ops->Wait(child.handle, -1));
  EXPECT_EQ(child.handle->ops->ExitCode(child.handle), 255u);
}

TEST(ProcessLaunchSmoke, MissingProgramGivesTwoAndNoHandle) {
  WideArray argv({join_path(this_program_directory(), u"missing.exe")});
  ProcessHandle* child = reinterpret_cast<ProcessHandle*>(static_cast<uintptr_t>(1));
  DWORD before = handle_count();
  EXPECT_EQ(start_process_retrying(&child, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
            2u);
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(handle_count(), before);
}

}  // namespace
