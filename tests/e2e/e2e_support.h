// Running the built launchers as a user's system would: every run copies a
// launcher and the test tool (tools/probe, as tavrin.exe) into a folder of
// its own, starts the launcher with a chosen command line, environment,
// current directory and standard handles, presses OK on any message box it
// shows, and collects the launcher's full exit code and the report of every
// tool process that ran. Windows trees only.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/tool_arguments.h"
#include "support/message_box.h"
#include "support/probe_report.h"
#include "support/test_support.h"
#include "support/windows_process.h"

enum class Launcher { kOrvane, kKelmis };

// What each build setting promises: its file, display name (the box title)
// and the fixed arguments in front of the user's.
struct LauncherFacts {
  const char16_t* file_name;
  const char16_t* display_name;
  std::vector<std::u16string> fixed_arguments;
};
const LauncherFacts& launcher_facts(Launcher launcher);

// The launcher program of this build tree or test bundle (see test_program;
// LAUNCHERS_E2E_ORVANE or LAUNCHERS_E2E_KELMIS, Windows or Unix paths, test
// other copies such as the dist ones) and the test tool that stands in for
// tavrin.exe: LAUNCHERS_E2E_TOOL when set, else probe.exe.
std::u16string built_launcher(Launcher launcher);
std::u16string built_tool();

// The length, in characters, that an installed launcher's own path must have.
struct PathLength {
  size_t characters;
};

// A fresh folder under the temporary folder with `subfolder` (may be empty,
// may hold several levels separated by '\') below it; the launcher is copied
// there under its own name and, when `with_tool`, the test tool as
// tavrin.exe. Everything is removed with the object. With a PathLength the
// subfolder is made of folders of at most 100 letters so that the
// launcher's path has exactly that many characters.
class Install {
 public:
  explicit Install(Launcher launcher, const std::u16string& subfolder = u"", bool with_tool = true);
  Install(Launcher launcher, PathLength length, bool with_tool = true);
  bool ok() const { return ok_; }
  Launcher which() const { return launcher_; }
  const std::u16string& folder() const { return folder_; }
  std::u16string launcher() const;
  std::u16string tool() const { return join_path(folder_, kToolFileName); }

 private:
  void set_up(const std::u16string& subfolder, bool with_tool);
  Launcher launcher_;
  TempDir root_;
  std::u16string folder_;
  bool ok_ = false;
};

// Creates every missing folder of an absolute path; true when it exists.
bool make_folders(const std::u16string& path);
// Copies the test tool to `path` (a decoy or a second tool).
bool place_tool(const std::u16string& path);

// Copies of the planted DLL (tools/planted_dll, or LAUNCHERS_E2E_PLANTED_DLL:
// one of the launchers' architecture) into `folder`, under the names of DLLs
// that Windows loads by name for a message box, a shell call and a process
// start; true when all are there. planted_dlls_loaded names
// those that a process has loaded since (each leaves a record beside itself).
bool plant_dlls(const std::u16string& folder);
std::vector<std::u16string> planted_dlls_loaded(const std::u16string& folder);

// Standard handles and pipes as in RunOptions (all null: this process's own).
struct LaunchOptions : ChildStdio {
  std::vector<std::u16string> args;  // the launcher's own arguments after its path
  // Instead of the quoted path and args: the exact text after the quoted
  // launcher path (with its leading blank).
  std::u16string raw_tail;
  bool use_raw_tail = false;
  std::vector<std::u16string> set;     // NAME=value entries for the launcher's environment
  std::vector<std::u16string> remove;  // names taken out of it
  std::u16string directory;            // the launcher's current directory (empty: this process's)
  DWORD creation_flags = 0;            // for CreateProcessW
  DWORD timeout_ms = 60000;
  // Start through ntdll (see start_natively) instead of CreateProcessW; the
  // launcher then has no standard handles and the ones above are ignored.
  bool start_natively = false;
  // The launcher's path as written to start it (empty: the install's own),
  // e.g. a \\?\ form, a copy under another name or in another folder.
  std::u16string launcher_path;
  // The whole command line is `raw_tail` (nothing in front of it); the
  // launcher's path is given to the system as the program to run, so the
  // line may name anything or nothing at all.
  bool whole_line_is_raw_tail = false;
  // The three standard handles reach the launcher as the very values given
  // (no copies made), so values that name nothing in it can be passed.
  bool literal_std_handles = false;
  // Only PROBE_REPORT and the `set` entries form the launcher's environment.
  bool replace_environment = false;
  // Called once the launcher runs, before it is watched to its end, with
  // its process and the folder its tool writes its report into.
  std::function<void(HANDLE process, const std::u16string& report_folder)> while_running;
};

struct LaunchOutcome {
  std::string failure;  // empty when the run could be carried out and observed
  std::u16string command_line;
  DWORD exit_code = 0xFFFFFFFF;
  MessageBoxSeen box;                // the first box the launcher showed (OK was pressed)
  std::vector<ProbeReport> reports;  // one per tool process that ran
  std::string output, error_output;  // when captured
  int repeated = 0;                  // runs repeated (Wine failed a start, a box went unseen)

  // One report, or null (and a reason in `why`) when there were none or several.
  const ProbeReport* only_report(std::string* why) const;
  // The outcome in a few lines, for failure messages.
  std::string describe() const;
};

// Starts `program` through ntdll's RtlCreateUserProcess, which takes program
// paths of any length (CreateProcessW, under Wine at least, refuses program
// paths of MAX_PATH characters or more), with no standard handles. On
// success the caller owns *process.
bool start_natively(const std::u16string& program, const std::u16string& command_line, const std::u16string& directory,
                    const std::vector<std::u16string>& environment, HANDLE* process, DWORD* id, std::string* failure);

// Starts the installed launcher and observes it until it ends (pressing OK
// on its box). Every run gets its own report folder.
LaunchOutcome launch(const Install& install, const LaunchOptions& options);

// The vector the tool must receive when `install`'s launcher gets `args`.
std::vector<std::u16string> expected_vector(const Install& install, const std::vector<std::u16string>& args);

// The text of the failure box for error `code` and command line `line`,
// with the keys in front when test mode is on.
std::u16string failure_text(uint32_t code, const std::u16string& line, bool test_mode);
// The error code that a failure text names ("ERROR: <code>  ..."), or -1.
int64_t code_in_failure_text(const std::u16string& text);
std::u16string failure_title(Launcher launcher, bool test_mode);

// Splits with the platform's CommandLineToArgvW (to check our own lines).
std::vector<std::u16string> platform_split(const std::u16string& command_line);

// Variables a run must not inherit from the test's own environment.
extern const std::vector<std::u16string> kControlledVariables;

// Runs `count` jobs on a few threads; job i writes only its own result.
template <typename Result>
std::vector<Result> run_concurrently(size_t count, const std::function<Result(size_t)>& job, unsigned workers = 4) {
  std::vector<Result> results(count);
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers && w < count; ++w) {
    threads.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) results[i] = job(i);
    });
  }
  for (std::thread& t : threads) t.join();
  return results;
}

// Test checks (GoogleTest, non-fatal): the run was observed, showed no box,
// ended with exit code 1, and exactly one tool process ran and received
// `expected`. Returns that report or null.
const ProbeReport* expect_delivered(const LaunchOutcome& outcome, const std::vector<std::u16string>& expected);
