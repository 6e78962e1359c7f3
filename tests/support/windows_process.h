// Windows test helpers: running a program with chosen arguments, environment,
// current directory and standard handles (straight through CreateProcessW,
// independent of the product's own launch code); temporary folders; files;
// paths between the Unix side and Wine; the test tool's location.
// Windows trees only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/probe_report.h"
#include "support/test_support.h"
#include "text/wchar_cast.h"

// --- text at the Win32 boundary -------------------------------------------------

inline const wchar_t* wide(const std::u16string& text) { return to_wchar(text.c_str()); }
// Null gives the empty text.
inline std::u16string u16(const wchar_t* text) { return text ? std::u16string(from_wchar(text)) : std::u16string(); }

// --- this process's variables ---------------------------------------------------

// A variable's value; empty when it is unset.
std::u16string environment_text(const wchar_t* name);

// Sets (or with `remove`, deletes) a variable of this process until the end
// of the scope, then restores it as it was (unset, empty or its value).
class ScopedVariable {
 public:
  ScopedVariable(const std::u16string& name, const std::u16string& value, bool remove = false) : name_(name) {
    wchar_t old[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(wide(name), old, 32768);
    had_ = n < 32768 && (n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND);
    if (had_) old_ = std::u16string(from_wchar(old), n);
    SetEnvironmentVariableW(wide(name), remove ? nullptr : wide(value));
  }
  ~ScopedVariable() { SetEnvironmentVariableW(wide(name_), had_ ? wide(old_) : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::u16string name_;
  std::u16string old_;
  bool had_ = false;
};

// --- windows ---------------------------------------------------------------------

// The first top-level window of process `pid` whose class is `class_name`, or null.
HWND top_level_window(DWORD pid, const std::u16string& class_name);

// --- transient failures of Wine -------------------------------------------------

// OpenSCManagerW, asked again for a few seconds while it fails with
// RPC_S_SERVER_TOO_BUSY (1723), as Wine's service manager now and then does
// while it is still busy with the services of an earlier test.
SC_HANDLE open_service_manager(DWORD access);

// Under load Wine now and then fails a process start with
// ERROR_INTERNAL_ERROR (1359): the new process died while it started up,
// before any code of its own ran. That is neither the tested code's doing
// nor anything it could do better. Every start of a process in the tests,
// through CreateProcessW, through the product's start_process or through a
// launcher that starts its tool, goes through retry_transient.
constexpr DWORD kWineTransientStartError = ERROR_INTERNAL_ERROR;
// The same failure of a start through ntdll: STATUS_INTERNAL_ERROR.
constexpr LONG kWineTransientStartStatus = LONG(0xC00000E5);
inline bool wine_start_failed(DWORD error) { return error == kWineTransientStartError; }

// Calls `attempt` (a callable taking the 0-based attempt number) again, up
// to `attempts` times in all and 200 ms apart, while `transient(result)`
// says its result came from a transient failure of Wine; returns the last
// result.
template <typename Attempt, typename Transient>
auto retry_transient(Attempt attempt, Transient transient, int attempts = 3) -> decltype(attempt(0)) {
  for (int number = 0;; ++number) {
    auto result = attempt(number);
    if (number + 1 >= attempts || !transient(result)) return result;
    Sleep(200);
  }
}

// A start (a callable returning a Windows error code, 0 when it started)
// retried while it fails with kWineTransientStartError.
template <typename Start>
auto retry_wine_start(Start start) -> decltype(start()) {
  return retry_transient([&](int) { return start(); }, [](DWORD error) { return wine_start_failed(error); });
}

// --- running programs ----------------------------------------------------------

// The standard handles that a test hands a program it starts.
struct StdHandles {
  HANDLE std_input = nullptr;
  HANDLE std_output = nullptr;
  HANDLE std_error = nullptr;
};

// Standard handles, and what the test captures from the program or feeds it
// through pipes. When any handle is set (not null), all three are passed
// with STARTF_USESTDHANDLES through inheritable copies (null or all ones:
// the child gets no handle there). When none is set, the child gets this
// process's own handles, or the system's default when nothing is captured
// or fed either.
struct ChildStdio : StdHandles {
  bool capture_output = false;  // stdout into TestProcess::output()
  bool capture_error = false;   // stderr into TestProcess::error_output()
  bool feed_input = false;      // `input` through a pipe, then end of file
  std::string input;
};

// How to run a program. Every field has a "leave it to the system" default.
struct RunOptions : ChildStdio {
  std::vector<std::u16string> argv;  // element 0 is the program
  std::u16string command_line;       // used as is instead of argv when not empty
  std::u16string application;        // lpApplicationName when not empty
  bool use_environment = false;      // pass `environment` (as given, unsorted)
  std::vector<std::u16string> environment;
  std::u16string directory;  // empty: inherit
  DWORD creation_flags = 0;  // e.g. CREATE_NO_WINDOW
};

// A started child. The destructor ends a child that still runs (exit code
// 0xDEAD) and closes everything.
class TestProcess {
 public:
  explicit TestProcess(const RunOptions& options);
  ~TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  DWORD start_error() const { return start_error_; }  // 0 when started
  bool started() const { return start_error_ == 0; }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_; }
  // True when the child has ended within `timeout_ms` (INFINITE allowed);
  // the captured output is then complete.
  bool wait(DWORD timeout_ms);
  // Waits without limit, then the full 32-bit exit code.
  DWORD exit_code();
  void terminate(UINT code);
  const std::string& output();        // waits for the child first
  const std::string& error_output();  // waits for the child first

 private:
  void finish_readers();
  DWORD start_error_ = 0;
  DWORD id_ = 0;
  HANDLE process_ = nullptr;
  HANDLE output_read_ = nullptr;
  HANDLE error_read_ = nullptr;
  std::thread output_reader_;
  std::thread error_reader_;
  std::thread input_writer_;
  std::atomic<bool> ended_{false};
  std::string output_;
  std::string error_;
};

struct RunResult {
  DWORD start_error = 0;  // 0 when the program started
  bool finished = false;  // ended within the time limit (else it was ended)
  DWORD exit_code = 0;
  DWORD id = 0;
  std::string output;
  std::string error_output;
};

// Starts, waits up to `timeout_ms`, ends a child that overruns.
RunResult run_process(const RunOptions& options, DWORD timeout_ms = 60000);

// --- environment ---------------------------------------------------------------

// This process's environment entries ("name=value") in their order.
std::vector<std::u16string> current_environment();
// The current environment with each "NAME=value" of `changes` replacing the
// variable of that name (case ignored) or added at the end, and every name in
// `removals` taken out.
std::vector<std::u16string> environment_with(const std::vector<std::u16string>& changes,
                                             const std::vector<std::u16string>& removals = {});
// The name part of an entry (a leading '=' belongs to it).
std::u16string environment_name(const std::u16string& entry);
// An environment block for CreateProcessW from entries (as given): each
// entry with its terminator, then one more; no entries give two.
std::u16string environment_block(const std::vector<std::u16string>& entries);

// --- paths and files -----------------------------------------------------------

// Wine's own mapping when available, else drive Z: for the Unix root.
std::u16string windows_path(const std::string& unix_path);
std::string unix_path(const std::u16string& windows_path);
std::u16string this_program_path();
std::u16string this_program_directory();
// a + '\' + b (no doubled separator).
std::u16string join_path(const std::u16string& a, const std::u16string& b);
// GetFullPathNameW.
std::u16string full_path(const std::u16string& path);

bool file_exists(const std::u16string& path);
bool read_file(const std::u16string& path, std::string* bytes);
bool write_file(const std::u16string& path, const std::string& bytes);
bool copy_file(const std::u16string& from, const std::u16string& to);
// Polls every 10 ms; true once the file exists.
bool wait_for_file(const std::u16string& path, DWORD timeout_ms);
// Deletes a folder with everything in it; true when it is gone.
bool remove_tree(const std::u16string& path);

// A new empty folder under the temporary folder, removed with its contents
// when the object ends. `tag` becomes part of its name.
class TempDir {
 public:
  explicit TempDir(const std::u16string& tag = u"t");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::u16string& path() const { return path_; }
  std::u16string file(const std::u16string& name) const { return join_path(path_, name); }

 private:
  std::u16string path_;
};

// --- handles -------------------------------------------------------------------

// Handles open in this process (GetProcessHandleCount), 0 when unknown.
DWORD handle_count();

// An anonymous pipe; both ends closed by the destructor unless taken. Neither
// end is inheritable.
struct TestPipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  TestPipe();
  ~TestPipe();
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;
  void close_read();
  void close_write();
  // Everything written until the write end is closed everywhere. False when
  // that has not happened within `timeout_ms` (a write end left open,
  // perhaps inherited by a child); *text then holds what came so far.
  bool read_all(std::string* text, DWORD timeout_ms = 30000);
};

// A handle of the NUL device, not inheritable (caller closes).
HANDLE open_nul_device();

// --- programs the tests run -------------------------------------------------------

// A program the tests run (the test tool, the launchers, helpers), found
// alike in a build tree and in an unpacked test bundle: the path in the
// environment variable `variable` when one is given and set (another copy;
// a Windows path, or under Wine a Unix path); else the file of that name
// beside this test program (a bundle keeps all programs of one architecture
// in one folder); else `in_build_tree`, its path relative to this program's
// folder in the build tree ('/' or '\' between the parts).
std::u16string test_program(const std::u16string& in_build_tree, const wchar_t* variable = nullptr);

// probe.exe, the test tool: beside this program, or
// tools\probe\probe.exe two folders above it (test programs live in
// <tree>\tests\<subsystem>\).
std::u16string probe_program();

// Reads and parses a report file.
bool load_probe_report(const std::u16string& path, ProbeReport* report, std::string* error);
