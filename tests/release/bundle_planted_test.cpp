// Cases that bundle_run_test.sh plants in a copy of the test bundle, to see
// what its runner makes of a failing case and of a case that leaves a child
// running. Built beside the bundle's programs, but neither put in the bundle
// nor run by CTest.
#include <gtest/gtest.h>

#include "support/windows_process.h"

namespace {

TEST(Planted, Fails) { ADD_FAILURE() << "the planted failure"; }

// The test tool, told to wait a minute for a file that never comes, is
// started and left running.
TEST(Planted, LeavesAChildRunning) {
  ScopedVariable wait_for(u"PROBE_WAIT_FOR", join_path(this_program_directory(), u"never"));
  ScopedVariable limit(u"PROBE_WAIT_LIMIT", u"60000");
  std::u16string line = quoted_command_line({probe_program()});
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(CreateProcessW(nullptr, const_cast<wchar_t*>(wide(line)), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child))
      << GetLastError();
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

}  // namespace
