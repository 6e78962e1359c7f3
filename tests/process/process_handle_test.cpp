// The ProcessHandle on real children: waiting with and without a limit,
// collecting the exit code once, ending the child, letting it run on.
#include "launch_test_support.h"

#include "runtime/refcounted.h"

namespace {

// A child that reports, then waits until `release` exists; exits with `code`.
struct WaitingChild {
  TempDir dir{u"handle"};
  std::u16string report = dir.file(u"report.txt");
  std::u16string release = dir.file(u"release");
  OwnedProcess child;

  explicit WaitingChild(const char16_t* code = u"0") {
    WideArray argv({probe_program()});
    ScopedVariable report_variable(u"PROBE_REPORT", report);
    ScopedVariable wait(u"PROBE_WAIT_FOR", release);
    ScopedVariable exit_code(u"PROBE_EXIT", code);
    EXPECT_EQ(
        start_process_retrying(&child.handle, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
        0u);
    // Once the report is there, the child runs and waits.
    EXPECT_TRUE(wait_for_file(report, 60000));
  }
  ~WaitingChild() { let_go(); }
  void let_go() { write_file(release, ""); }
  ProcessHandle* operator->() const { return child.handle; }
};

bool is_handle(void* h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

TEST(ProcessHandleObject, StartsEmptyWithTheSharedAddRef) {
  ProcessHandle* h = create_process_handle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(reinterpret_cast<RefCounted*>(h)->count, 1);
  EXPECT_EQ(reinterpret_cast<void*>(h->ops->AddRef), reinterpret_cast<void*>(&refcounted_add_ref));
  EXPECT_EQ(h->ops->ProcessId(h), 0u);
  EXPECT_EQ(h->process, INVALID_HANDLE_VALUE);
  // Nothing to wait for: true at once, and the preset exit code stays.
  EXPECT_TRUE(h->ops->Wait(h, 0));
  EXPECT_TRUE(h->ops->Wait(h, -1));
  h->ops->Terminate(h);
  EXPECT_EQ(h->ops->ExitCode(h), 0xFFFFFFFFu);
  // The slots in their fixed order, reached as a plain table.
  void* const* slots = reinterpret_cast<void* const*>(h->ops);
  EXPECT_EQ(slots[0], reinterpret_cast<void*>(&refcounted_add_ref));
  EXPECT_EQ(slots[2], reinterpret_cast<void*>(h->ops->ProcessId));
  EXPECT_EQ(slots[5], reinterpret_cast<void*>(h->ops->ExitCode));
  h->ops->Release(h);
}

TEST(ProcessHandleObject, WaitZeroOnARunningChildIsFalse) {
  WaitingChild child(u"3");
  ASSERT_NE(child.child.handle, nullptr);
  EXPECT_FALSE(child->ops->Wait(child.child.handle, 0));
  EXPECT_TRUE(is_handle(child->process)) << "a time-out leaves the handle open";
  EXPECT_EQ(child->exit_code, 0xFFFFFFFFu);
  ProbeReport report;
  std::string error;
  ASSERT_TRUE(load_probe_report(child.report, &report, &error)) << error;
  EXPECT_EQ(child->ops->ProcessId(child.child.handle), report.pid);

  child.let_go();
  // Any negative time-out waits without a limit.
  EXPECT_TRUE(child->ops->Wait(child.child.handle, -5));
  EXPECT_FALSE(is_handle(child->process));
  EXPECT_EQ(child->exit_code, 3u);
}

TEST(ProcessHandleObject, ExitCodeIsCollectedOnceAndKept) {
  WaitingChild child(u"7");
  ASSERT_NE(child.child.handle, nullptr);
  child.let_go();
  DWORD before = handle_count();
  EXPECT_EQ(child->ops->ExitCode(child.child.handle), 7u);
  EXPECT_EQ(handle_count(), before - 1) << "collecting closes the process handle";
  EXPECT_EQ(child->process, INVALID_HANDLE_VALUE);
  EXPECT_EQ(child->ops->ExitCode(child.child.handle), 7u);
  EXPECT_TRUE(child->ops->Wait(child.child.handle, 0));
  EXPECT_EQ(child->ops->ExitCode(child.child.handle), 7u);
}

TEST(ProcessHandleObject, TerminateThenExitCodeIs255) {
  WaitingChild child(u"9");
  ASSERT_NE(child.child.handle, nullptr);
  child->ops->Terminate(child.child.handle);
  EXPECT_TRUE(is_handle(child->process)) << "the handle stays open after Terminate";
  EXPECT_EQ(child->ops->ExitCode(child.child.handle), 255u);
}

TEST(ProcessHandleObject, ReleaseLeavesTheChildRunning) {
  WaitingChild child(u"4");
  ASSERT_NE(child.child.handle, nullptr);
  DWORD pid = child->ops->ProcessId(child.child.handle);
  HANDLE watch = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  ASSERT_NE(watch, nullptr);

  child->ops->AddRef(child.child.handle);
  EXPECT_EQ(child->count, 2);
  child->ops->Release(child.child.handle);
  EXPECT_EQ(child->count, 1);
  EXPECT_TRUE(is_handle(child->process)) << "an owner remains";

  DWORD before = handle_count();
  child->ops->Release(child.child.handle);
  child.child.handle = nullptr;
  EXPECT_EQ(handle_count(), before - 1) << "the last Release closes the process handle";
  EXPECT_EQ(WaitForSingleObject(watch, 0), DWORD(WAIT_TIMEOUT)) << "the child must still run";

  child.let_go();
  EXPECT_EQ(WaitForSingleObject(watch, 60000), DWORD(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(watch, &code));
  EXPECT_EQ(code, 4u);
  CloseHandle(watch);
}

TEST(ProcessHandleObject, FailedWaitIsFalseAndChangesNothing) {
  ProcessHandle* h = create_process_handle();
  ASSERT_NE(h, nullptr);
  void* bogus = reinterpret_cast<void*>(static_cast<uintptr_t>(0xFFFFF0));
  h->process = bogus;
  EXPECT_FALSE(h->ops->Wait(h, 0));
  EXPECT_FALSE(h->ops->Wait(h, -1));
  EXPECT_EQ(h->process, bogus);
  EXPECT_EQ(h->exit_code, 0xFFFFFFFFu);
  h->process = nullptr;  // a null handle also counts as none
  EXPECT_TRUE(h->ops->Wait(h, -1));
  EXPECT_EQ(h->ops->ExitCode(h), 0xFFFFFFFFu);
  h->ops->Release(h);
}

TEST(ProcessHandleObject, CrashAndFullExitCodesArriveWhole) {
  struct Case {
    const char16_t* variable;
    const char16_t* value;
    uint32_t expected;
  };
  const Case cases[] = {
      {u"PROBE_EXIT", u"0xFFFFFFFF", 0xFFFFFFFFu},
      {u"PROBE_EXIT", u"1063", 1063u},
      {u"PROBE_CRASH", u"1", 0xC0000005u},
  };
  for (const Case& c : cases) {
    TempDir dir(u"code");
    ScopedVariable report(u"PROBE_REPORT", dir.file(u"r.txt"));
    ScopedVariable control(c.variable, c.value);
    WideArray argv({probe_program()});
    OwnedProcess child;
    ASSERT_EQ(
        start_process_retrying(&child.handle, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
        0u);
    EXPECT_EQ(child.handle->ops->ExitCode(child.handle), c.expected);
  }
}

}  // namespace
