// Shared pieces of the Windows launch tests: argument and environment arrays
// in the product's form, scoped changes of this process's variables and
// standard handles, and a start of the test tool that returns its report.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/launch.h"
#include "process/process_handle.h"
#include "support/probe_report.h"
#include "support/test_support.h"
#include "support/windows_process.h"

// A null-terminated char16_t* array over owned strings.
class WideArray {
 public:
  WideArray(std::vector<std::u16string> strings) : strings_(std::move(strings)) {  // NOLINT: implicit on purpose
    for (const std::u16string& s : strings_) pointers_.push_back(s.c_str());
    pointers_.push_back(nullptr);
  }
  const char16_t* const* get() const { return pointers_.data(); }
  const std::vector<std::u16string>& strings() const { return strings_; }

 private:
  std::vector<std::u16string> strings_;
  std::vector<const char16_t*> pointers_;
};

// Replaces one of this process's standard handles until the end of the scope.
class ScopedStdHandle {
 public:
  ScopedStdHandle(DWORD kind, HANDLE handle) : kind_(kind), old_(GetStdHandle(kind)) { SetStdHandle(kind, handle); }
  ~ScopedStdHandle() { SetStdHandle(kind_, old_); }

 private:
  DWORD kind_;
  HANDLE old_;
};

// start_process, started again while Wine fails the start transiently
// (see retry_transient).
inline uint32_t start_process_retrying(ProcessHandle** out, uint32_t flags, const char16_t* const* argv,
                                       const char16_t* const* environment, const char16_t* directory, void* std_input,
                                       void* std_output, void* std_error) {
  return retry_wine_start([&]() -> uint32_t {
    return start_process(out, flags, argv, environment, directory, std_input, std_output, std_error);
  });
}

// Takes ownership of a ProcessHandle reference.
struct OwnedProcess {
  ProcessHandle* handle = nullptr;
  ~OwnedProcess() {
    if (handle) handle->ops->Release(handle);
  }
};

// Starts the tool through start_process with the report written into a fresh
// folder, waits for it and reads the report. `environment` null: the tool
// inherits this process's environment (PROBE_REPORT is set here for the
// start); otherwise PROBE_REPORT is added to the given entries.
// The handles are INVALID_HANDLE_VALUE (none) unless a test sets them.
struct ProbeStart : StdHandles {
  ProbeStart() { std_input = std_output = std_error = INVALID_HANDLE_VALUE; }
  std::vector<std::u16string> args;  // after the program
  const std::vector<std::u16string>* environment = nullptr;
  const char16_t* directory = nullptr;
  uint32_t flags = kStartNoWindow;
  std::u16string program;  // empty: probe_program()
  uint32_t expected_exit = 0;
};

inline bool run_probe(const ProbeStart& start, ProbeReport* report) {
  TempDir dir(u"launch");
  EXPECT_TRUE(dir.ok());
  std::u16string report_path = dir.file(u"report.txt");
  std::vector<std::u16string> argv = {start.program.empty() ? probe_program() : start.program};
  argv.insert(argv.end(), start.args.begin(), start.args.end());
  WideArray args(argv);
  std::vector<std::u16string> entries;
  if (start.environment) {
    entries = *start.environment;
    entries.push_back(u"PROBE_REPORT=" + report_path);
  }
  WideArray environment(entries);
  ScopedVariable report_variable(u"PROBE_REPORT", report_path);
  OwnedProcess child;
  uint32_t error =
      start_process_retrying(&child.handle, start.flags, args.get(), start.environment ? environment.get() : nullptr,
                             start.directory, start.std_input, start.std_output, start.std_error);
  EXPECT_EQ(error, 0u);
  if (error != 0 || !child.handle) return false;
  EXPECT_EQ(child.handle->ops->ExitCode(child.handle), start.expected_exit);
  std::string problem;
  bool ok = load_probe_report(report_path, report, &problem);
  EXPECT_TRUE(ok) << problem;
  if (ok) EXPECT_EQ(report->pid, child.handle->ops->ProcessId(child.handle));
  return ok;
}
