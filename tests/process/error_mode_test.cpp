// The error mode is set on the first start only. A program of its own: the
// first start of the process must be the one in this test.
#include "launch_test_support.h"

namespace {

TEST(ProcessErrorMode, FirstStartSetsItLaterStartsLeaveIt) {
  SetErrorMode(0);
  ASSERT_EQ(GetErrorMode(), 0u);
  TempDir dir(u"mode");
  ScopedVariable report(u"PROBE_REPORT", dir.file(u"r.txt"));
  WideArray argv({probe_program()});
  // Even a failed start sets it: it comes before anything else.
  WideArray missing({join_path(dir.path(), u"missing.exe")});
  ProcessHandle* child = nullptr;
  EXPECT_EQ(start_process_retrying(&child, kStartNoWindow, missing.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
            uint32_t(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetErrorMode(), 0x8001u);

  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  ASSERT_EQ(start_process_retrying(&child, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
            0u);
  EXPECT_EQ(child->ops->ExitCode(child), 0u);
  child->ops->Release(child);
  EXPECT_EQ(GetErrorMode(), uint32_t(SEM_NOGPFAULTERRORBOX)) << "only the first call sets the mode";
  set_error_mode_once();
  EXPECT_EQ(GetErrorMode(), uint32_t(SEM_NOGPFAULTERRORBOX));
}

}  // namespace
