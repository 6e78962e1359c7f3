// Hostile inputs and faults around the launchers, end to end under Wine:
// command lines at and past the system's length limit, broken text, tool
// files that are no program or cannot be opened, tools that crash, linger
// or are killed, standard handles that are missing, dead or of the wrong
// kind, odd install folders and drives, hostile environments, and many
// launchers at once. One table, a test per row: every row says what must
// happen, and every run is also held to what must never happen (a crash, a
// hang, a lost or changed argument, a start of anything but the tool beside
// the launcher).
//
// Run through hostile_mounts.sh, which gives the program a UNC share
// (LAUNCHERS_E2E_SHARE) and a spare drive (LAUNCHERS_E2E_DRIVE) of the Wine
// prefix for the rows that need a share or a drive's root. On Windows the
// test bundle's runner gives them (a share only with administrator rights),
// or says that the machine has none: the rows that need it skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "e2e_support.h"
#include "support/system.h"
#include "support/test_support.h"

namespace {

// The outcome for failure messages, with very long lines cut in the middle.
std::string brief(const LaunchOutcome& outcome) {
  std::string text = outcome.describe();
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (line.size() > 400) {
      line = line.substr(0, 240) + " ... (" + std::to_string(line.size()) + " characters) ... " +
             line.substr(line.size() - 120);
    }
    out += line + "\n";
    at = end + 1;
  }
  return out;
}

// --- expectations ------------------------------------------------------------------

// The longest command line the system passes on whole: 32,767 units with
// the terminator. Windows refuses longer ones with this code.
const size_t kLongestLine = 32766;
const uint32_t kFileNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

enum class Outcome {
  kDelivered,       // the tool beside the launcher ran once with exactly the expected vector; exit 1; no box
  kBox,             // the box names the code; the exit code is that code; nothing was started
  kDeliveredOrBox,  // either of the two, as the system allows
  // Delivered, or a box with the code of whatever the system refused the
  // start with, the exit code being that code; the code is never `code`.
  kDeliveredOrSystemRefusal,
  // A box with the code the system refused the start with, naming the full
  // tool path (so the launcher knew its folder); the exit code is that code.
  kSystemRefusal,
};

struct Expected {
  Outcome outcome;
  uint32_t code;  // for boxes
};
const Expected kDelivered = {Outcome::kDelivered, 0};
Expected box(uint32_t code) { return {Outcome::kBox, code}; }
Expected delivered_or_box(uint32_t code) { return {Outcome::kDeliveredOrBox, code}; }
Expected delivered_or_refused_but_not(uint32_t code) { return {Outcome::kDeliveredOrSystemRefusal, code}; }
const Expected kRefusedBySystem = {Outcome::kSystemRefusal, 0};

// --- one launcher run ------------------------------------------------------------------

// What a row sets up: one launcher run (or several) and what it must show.
struct LauncherRun {
  std::shared_ptr<Install> install;
  LaunchOptions options;
  std::vector<std::u16string> args;  // what follows the fixed arguments in the tool's vector
  std::u16string tool;               // the tool that may run (empty: the install's)
  // The tool's element 0 may name the tool in another form (\\?\ ...): then
  // only the file it names is compared.
  bool tool_text_may_differ = false;
  // The vector the box shows (empty: tool, fixed arguments, args).
  std::vector<std::u16string> shown;
  bool test_mode = false;                           // the box's title and text carry their keys
  std::function<void(const LaunchOutcome&)> check;  // further checks
  std::string setup_failure;
  std::vector<std::shared_ptr<void>> held;  // kept until the run is checked
  std::string label;
};

struct Context {
  std::u16string drive;            // "R:", the spare drive
  std::u16string share;            // "\\host\s", the UNC share
  std::string no_drive, no_share;  // why the test bundle's runner could not give them
};

enum class Mounts { kNone, kDrive, kShare };  // kShare: the UNC share and the spare drive

struct Row {
  std::string name;
  Expected expected;
  std::function<void(const Context&, std::vector<LauncherRun>*)> prepare;
  bool all_at_once = false;       // its runs start together, apart from other rows
  Mounts mounts = Mounts::kNone;  // what it needs
  std::string test_name;          // set by rows()
};

std::shared_ptr<void> hold_handle(HANDLE handle) {
  return std::shared_ptr<void>(handle, [](void* h) {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  });
}

template <typename T>
std::shared_ptr<void> hold(std::shared_ptr<T> object) {
  return std::static_pointer_cast<void>(object);
}

LauncherRun basic_run(Launcher launcher, bool with_tool = true, const std::u16string& subfolder = u"") {
  LauncherRun run;
  run.install = std::make_shared<Install>(launcher, subfolder, with_tool);
  if (!run.install->ok()) run.setup_failure = "cannot install the launcher";
  run.options.timeout_ms = 30000;
  return run;
}

std::vector<std::u16string> fixed_then(Launcher launcher, const std::vector<std::u16string>& args) {
  std::vector<std::u16string> vector = launcher_facts(launcher).fixed_arguments;
  vector.insert(vector.end(), args.begin(), args.end());
  return vector;
}

std::u16string tool_of(const LauncherRun& run) { return run.tool.empty() ? run.install->tool() : run.tool; }

std::vector<std::u16string> tool_vector(const LauncherRun& run) {
  std::vector<std::u16string> vector = {tool_of(run)};
  std::vector<std::u16string> rest = fixed_then(run.install->which(), run.args);
  vector.insert(vector.end(), rest.begin(), rest.end());
  return vector;
}

// Expected arguments when the launcher's own line is written by hand: what
// the platform's splitting makes of it, after element 0.
void args_from_line(LauncherRun* run, const std::u16string& line) {
  std::vector<std::u16string> split = platform_split(line);
  run->args.assign(split.size() > 1 ? split.begin() + 1 : split.end(), split.end());
}

// The identity of a file (volume and index): whether two paths name the
// same file, whatever form they are written in.
bool file_identity(const std::u16string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileW(wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return ok;
}

bool same_file(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!file_identity(a, &ia) || !file_identity(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

// The first finished tool report in `folder`, waiting up to `timeout_ms`.
bool wait_for_report(const std::u16string& folder, DWORD timeout_ms, ProbeReport* report) {
  DWORD start = GetTickCount();
  for (;;) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(join_path(folder, u"*.txt")), &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      std::string error;
      return load_probe_report(join_path(folder, u16(found.cFileName)), report, &error);
    }
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
}

// Arguments that make a measured command line exactly `length` units long:
// `seed` first, then words of letters (the last one lengthened by one
// letter when a single unit is left). Empty when the seed is too long.
std::vector<std::u16string> padded_args(size_t length, const std::vector<std::u16string>& seed,
                                        const std::function<size_t(const std::vector<std::u16string>&)>& measure) {
  std::vector<std::u16string> args = seed;
  size_t now = measure(args);
  if (now > length) return {};
  char16_t letter = u'a';
  while (now < length) {
    size_t left = length - now;
    if (left == 1) {
      args.back() += u'z';
    } else {
      args.push_back(std::u16string(left - 1 < 1000 ? left - 1 : 1000, letter));
      letter = letter == u'y' ? u'a' : char16_t(letter + 1);
    }
    now = measure(args);
  }
  return now == length ? args : std::vector<std::u16string>{};
}

size_t tool_line_length(const Install& install, const std::vector<std::u16string>& args) {
  return quoted_command_line(expected_vector(install, args)).size();
}

size_t own_line_length(const Install& install, const std::vector<std::u16string>& args) {
  std::vector<std::u16string> argv = {install.launcher()};
  argv.insert(argv.end(), args.begin(), args.end());
  return quoted_command_line(argv).size();
}

// --- set-ups ------------------------------------------------------------------------

using Runs = std::vector<LauncherRun>;

const std::vector<std::u16string> kSeedArgs = {u"a b", u"q\"uote", uR"(tail\)", u"\u00e9\U0001F600", u""};

// A run whose own arguments make a command line exactly `length` units
// long: the tool's line, or (with `own`) the launcher's own.
void line_of_length(Launcher launcher, size_t length, bool own, Runs* runs) {
  LauncherRun run = basic_run(launcher);
  const Install& install = *run.install;
  run.args = padded_args(length, kSeedArgs, [&](const std::vector<std::u16string>& args) {
    return own ? own_line_length(install, args) : tool_line_length(install, args);
  });
  run.options.args = run.args;
  if (run.args.empty() || own_line_length(install, run.args) > kLongestLine) run.setup_failure = "cannot pad the line";
  runs->push_back(std::move(run));
}

// Backslashes at the end of a quoted argument are doubled when the line is
// written again: a line of half the limit grows past it.
void doubled_backslashes(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  run.options.use_raw_tail = true;
  run.options.raw_tail = u" \" \"" + std::u16string(17000, u'\\') + u" last";
  args_from_line(&run, u"\"" + run.install->launcher() + u"\"" + run.options.raw_tail);
  if (tool_line_length(*run.install, run.args) <= kLongestLine) run.setup_failure = "the line is too short";
  runs->push_back(std::move(run));
}

void with_args(Launcher launcher, const std::vector<std::u16string>& args, Runs* runs) {
  LauncherRun run = basic_run(launcher);
  run.args = args;
  run.options.args = args;
  runs->push_back(std::move(run));
}

std::vector<std::u16string> empty_arguments() {
  std::vector<std::u16string> args(4000, u"");
  args[1234] = u"marker";
  return args;
}

std::vector<std::u16string> controls_and_noncharacters() {
  std::u16string controls;
  for (char16_t c = 1; c < 0x20; ++c) controls += c;
  return {controls, u"\x7F\x80\x9F", u"\xFFFF\xFFFE", u"\xFEFF", u"a\rb\nc", u"\xFFFD"};
}

void hand_written_tail(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  run.options.use_raw_tail = true;
  run.options.raw_tail = uR"( """""""" \\\\" \"\" "\\" a""b "\\\\)";
  args_from_line(&run, u"\"" + run.install->launcher() + u"\"" + run.options.raw_tail);
  runs->push_back(std::move(run));
}

// The whole command line as given; the launcher is named to the system as
// the program, so the line's element 0 may be anything.
void whole_line(Launcher launcher, const std::u16string& line, Runs* runs) {
  LauncherRun run = basic_run(launcher);
  run.options.whole_line_is_raw_tail = true;
  run.options.raw_tail = line;
  args_from_line(&run, line);
  runs->push_back(std::move(run));
}

// The tool file replaced by something that cannot be run.
void broken_tool(const std::function<bool(const std::u16string&)>& make, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane, false);
  run.args = {u"x y"};
  run.options.args = run.args;
  if (run.setup_failure.empty() && !make(run.install->tool())) run.setup_failure = "cannot make the tool file";
  runs->push_back(std::move(run));
}

// Wine enforces share modes: a file held open without read sharing cannot
// be opened to run it.
void tool_held_open(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  run.args = {u"x"};
  run.options.args = run.args;
  HANDLE lock = CreateFileW(wide(run.install->tool()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (lock == INVALID_HANDLE_VALUE) run.setup_failure = "cannot open the tool exclusively";
  run.held.push_back(hold_handle(lock));
  runs->push_back(std::move(run));
}

// Look-alikes of the tool beside the launcher: none is run in its place.
void look_alikes(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane, false);
  run.args = {u"x"};
  run.options.args = run.args;
  for (const char16_t* name : {u"tavrin", u"tavrin.com", u"tavrin.exe.exe", u"tavrin.ex", u"tavrin.bat"}) {
    if (!place_tool(join_path(run.install->folder(), name))) run.setup_failure = "cannot place a look-alike";
  }
  runs->push_back(std::move(run));
}

void tool_with(Launcher launcher, const std::vector<std::u16string>& variables, Runs* runs) {
  LauncherRun run = basic_run(launcher);
  run.args = {u"x"};
  run.options.args = run.args;
  run.options.set = variables;
  runs->push_back(std::move(run));
}

void exception_codes(const Context&, Runs* runs) {
  for (const char16_t* code : {u"0xC0000005", u"0xC000013A", u"0xC0000409", u"0x80000003", u"0xC00000FD"}) {
    tool_with(Launcher::kKelmis, {u"PROBE_EXIT=" + std::u16string(code)}, runs);
    runs->back().label = utf8(code);
  }
}

// The tool has reported and waits for a file: the launcher must still be
// waiting for it, and end with 1 once it is released.
void lingering_tool(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  auto scratch = std::make_shared<TempDir>(u"release");
  auto waited = std::make_shared<int>(-1);  // 1: the launcher was still waiting
  std::u16string release = scratch->file(u"go");
  run.options.set = {u"PROBE_WAIT_FOR=" + release, u"PROBE_WAIT_LIMIT=60000"};
  run.options.while_running = [release, waited](HANDLE launcher, const std::u16string& reports) {
    ProbeReport report;
    if (wait_for_report(reports, 30000, &report)) *waited = WaitForSingleObject(launcher, 0) == WAIT_TIMEOUT ? 1 : 0;
    write_file(release, "");
  };
  run.check = [waited](const LaunchOutcome& outcome) {
    EXPECT_EQ(*waited, 1) << "the launcher did not wait for the lingering tool\n" << brief(outcome);
  };
  run.held.push_back(hold(scratch));
  runs->push_back(std::move(run));
}

void tool_killed(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  auto killed = std::make_shared<bool>(false);
  auto scratch = std::make_shared<TempDir>(u"never");
  run.options.set = {u"PROBE_WAIT_FOR=" + scratch->file(u"never"), u"PROBE_WAIT_LIMIT=60000"};
  run.options.while_running = [killed](HANDLE, const std::u16string& reports) {
    ProbeReport report;
    if (!wait_for_report(reports, 30000, &report)) return;
    HANDLE tool = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, report.pid);
    if (!tool) return;
    *killed = TerminateProcess(tool, 0xBAD) && WaitForSingleObject(tool, 10000) == WAIT_OBJECT_0;
    CloseHandle(tool);
  };
  run.check = [killed](const LaunchOutcome& outcome) {
    EXPECT_TRUE(*killed) << "the tool could not be killed\n" << brief(outcome);
  };
  run.held.push_back(hold(scratch));
  runs->push_back(std::move(run));
}

const std::vector<std::u16string> kUseAllHandles = {u"PROBE_STDIN=1", u"PROBE_STDOUT=out \u00fc",
                                                    u"PROBE_STDERR=err \U0001F600"};

void expect_all_nul(const LaunchOutcome& outcome) {
  if (outcome.reports.size() != 1) return;
  const ProbeReport& report = outcome.reports[0];
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(report.handles[k].present) << k << "\n" << brief(outcome);
    EXPECT_TRUE(report.handles[k].nul) << k << " type " << report.handles[k].type << "\n" << brief(outcome);
  }
  EXPECT_EQ(report.stdin_read.error, 0u);
  EXPECT_EQ(report.stdin_data, "");
  EXPECT_EQ(report.stdout_write.error, 0u);
  EXPECT_EQ(report.stderr_write.error, 0u);
}

void no_handles(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  run.options.start_natively = true;
  run.options.set = kUseAllHandles;
  run.check = expect_all_nul;
  runs->push_back(std::move(run));
}

// Values that name nothing in the launcher, as a parent that closed its
// handles leaves them.
void dead_handles(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  run.options.literal_std_handles = true;
  run.options.std_input = reinterpret_cast<HANDLE>(uintptr_t(0x3FFFF0));
  run.options.std_output = reinterpret_cast<HANDLE>(uintptr_t(0x3FFFF4));
  run.options.std_error = reinterpret_cast<HANDLE>(uintptr_t(0x3FFFF8));
  run.options.set = kUseAllHandles;
  run.check = expect_all_nul;
  runs->push_back(std::move(run));
}

void output_nobody_reads(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  auto pipe = std::make_shared<TestPipe>();
  pipe->close_read();
  run.options.std_output = pipe->write;
  run.options.set = {u"PROBE_STDOUT=" + std::u16string(5000, u'x')};
  run.check = [](const LaunchOutcome& outcome) {
    if (outcome.reports.size() != 1) return;
    EXPECT_TRUE(outcome.reports[0].stdout_write.asked);
    EXPECT_NE(outcome.reports[0].stdout_write.error, 0u) << brief(outcome);
  };
  run.held.push_back(hold(pipe));
  runs->push_back(std::move(run));
}

void input_nobody_writes(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  auto pipe = std::make_shared<TestPipe>();
  pipe->close_write();
  run.options.std_input = pipe->read;
  run.options.set = {u"PROBE_STDIN=1"};
  run.check = [](const LaunchOutcome& outcome) {
    if (outcome.reports.size() != 1) return;
    EXPECT_EQ(outcome.reports[0].stdin_read.error, 0u) << brief(outcome);
    EXPECT_EQ(outcome.reports[0].stdin_data, "");
  };
  run.held.push_back(hold(pipe));
  runs->push_back(std::move(run));
}

void output_read_only(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  auto files = std::make_shared<TempDir>(u"readonly");
  std::u16string path = files->file(u"f.txt");
  HANDLE file = write_file(path, "content") ? CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                          nullptr, OPEN_EXISTING, 0, nullptr)
                                            : INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) run.setup_failure = "cannot open the file";
  run.options.std_output = file;
  run.options.set = {u"PROBE_STDOUT=line"};
  run.check = [path](const LaunchOutcome& outcome) {
    if (outcome.reports.size() == 1) EXPECT_NE(outcome.reports[0].stdout_write.error, 0u) << brief(outcome);
    std::string content;
    EXPECT_TRUE(read_file(path, &content));
    EXPECT_EQ(content, "content");
  };
  run.held.push_back(hold(files));
  run.held.push_back(hold_handle(file));
  runs->push_back(std::move(run));
}

void odd_folder(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis, true,
                              u"Program Files (x86)\\\u00dcn\u00efc\u00f8d\u00e9  \u65e5\u672c \U0001F600\\e\u0301 x");
  run.args = {u"a b"};
  run.options.args = run.args;
  runs->push_back(std::move(run));
}

void started_through(const std::u16string& prefix, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  run.args = {u"x", u"y z"};
  run.options.args = run.args;
  run.options.launcher_path = prefix + run.install->launcher();
  run.tool_text_may_differ = true;
  runs->push_back(std::move(run));
}

// The launcher copied to `launcher_path` (beside a tool at `tool_path`,
// when given) and started under that path.
void install_elsewhere(LauncherRun* run, const std::u16string& launcher_path, const std::u16string& tool_path) {
  if (!run->setup_failure.empty()) return;
  auto placed = std::make_shared<std::vector<std::u16string>>();
  if (copy_file(run->install->launcher(), launcher_path)) {
    placed->push_back(launcher_path);
  } else {
    run->setup_failure = "cannot copy the launcher to " + escaped(launcher_path);
  }
  if (!tool_path.empty()) {
    if (place_tool(tool_path)) {
      placed->push_back(tool_path);
    } else {
      run->setup_failure = "cannot place the tool at " + escaped(tool_path);
    }
  }
  run->held.push_back(std::shared_ptr<void>(new int(0), [placed](void* p) {
    for (const std::u16string& path : *placed) DeleteFileW(wide(path));
    delete static_cast<int*>(p);
  }));
  run->options.launcher_path = launcher_path;
  run->tool = tool_path;
}

// Decoys where a launcher that lost its folder would look: the root and a
// folder of the spare drive, which becomes the current directory.
void place_decoys(const Context& context, LauncherRun* run) {
  std::u16string folder = context.drive + uR"(\work)";
  if (!make_folders(folder) || !place_tool(context.drive + uR"(\tavrin.exe)") ||
      !place_tool(folder + uR"(\tavrin.exe)")) {
    run->setup_failure = "cannot place the decoys";
  }
  run->options.directory = folder;
}

// Under Wine a program started from a share learns its own path without
// the leading "\\": such a launcher may refuse (its folder unknown), but it
// must never run a tavrin.exe at the root of the current drive.
void on_share(const Context& context, bool in_subfolder, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  std::u16string folder = context.share;
  if (in_subfolder) {
    folder += uR"(\sub dir)";
    if (!CreateDirectoryW(wide(folder), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      run.setup_failure = "cannot make a folder on the share";
    }
  }
  run.args = {u"x"};
  run.options.args = run.args;
  install_elsewhere(&run, folder + uR"(\orvane.exe)", folder + uR"(\tavrin.exe)");
  place_decoys(context, &run);
  run.shown = {u"tavrin.exe", u"convert", u"-g", u"x"};
  runs->push_back(std::move(run));
}

void at_drive_root(const Context& context, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  run.args = {u"x"};
  run.options.args = run.args;
  install_elsewhere(&run, context.drive + uR"(\kelmis.exe)", context.drive + uR"(\tavrin.exe)");
  runs->push_back(std::move(run));
}

void renamed(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  run.args = {u"x"};
  run.options.args = run.args;
  install_elsewhere(&run, join_path(run.install->folder(), u"Renamed Copy (2).of.EXE"), u"");
  runs->push_back(std::move(run));
}

// A launcher whose own path has `length` units; beyond the system's limit
// for starting programs it is started through ntdll, with decoys around.
void own_path_of(Launcher launcher, size_t length, const Context& context, Runs* runs) {
  LauncherRun run;
  run.install = std::make_shared<Install>(launcher, PathLength{length});
  if (!run.install->ok() || run.install->launcher().size() != length) run.setup_failure = "cannot install";
  run.options.timeout_ms = 30000;
  if (length >= MAX_PATH) {
    run.options.start_natively = true;
    place_decoys(context, &run);
  } else {
    run.args = {u"x"};
    run.options.args = run.args;
  }
  // Shown when the launcher cannot know its folder: only the tool's name.
  run.shown = {u"tavrin.exe"};
  const LauncherFacts& facts = launcher_facts(launcher);
  run.shown.insert(run.shown.end(), facts.fixed_arguments.begin(), facts.fixed_arguments.end());
  if (length < 300) run.shown.clear();
  runs->push_back(std::move(run));
}

void current_directory_elsewhere(bool with_tool, const Context& context, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane, with_tool);
  run.args = {u"x"};
  run.options.args = run.args;
  place_decoys(context, &run);
  runs->push_back(std::move(run));
}

void test_mode_value(const std::u16string& value, bool decorated, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis, false);
  run.args = {u"x"};
  run.options.args = run.args;
  run.options.set = {u"VARNO_USERTEXTTESTMODE=" + value};
  run.test_mode = decorated;
  runs->push_back(std::move(run));
}

void many_variables(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  auto names = std::make_shared<std::vector<std::u16string>>();
  for (uint64_t i = 0; i < 5000; ++i) {
    names->push_back(u"HOSTILE_V" + u16(std::to_string(i)));
    run.options.set.push_back(names->back() + u"=" + u16(std::to_string(i * 7919u)));
  }
  run.check = [names](const LaunchOutcome& outcome) {
    if (outcome.reports.size() != 1) return;
    const std::vector<std::u16string>& seen = outcome.reports[0].env_names;
    size_t missing = 0;
    for (const std::u16string& name : *names) missing += std::find(seen.begin(), seen.end(), name) == seen.end();
    EXPECT_EQ(missing, 0u) << "variables that did not reach the tool";
  };
  runs->push_back(std::move(run));
}

void long_variable(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  std::u16string value;
  for (int i = 0; i < 6400; ++i) value += u"a\u00e9=\U0001F600";  // 5 units each
  run.options.set = {u"HOSTILE_LONG=" + value, u"PROBE_SHOW=HOSTILE_LONG"};
  run.check = [value](const LaunchOutcome& outcome) {
    if (outcome.reports.size() != 1) return;
    const ProbeVariable* variable = outcome.reports[0].variable(u"HOSTILE_LONG");
    ASSERT_NE(variable, nullptr);
    EXPECT_TRUE(variable->present);
    EXPECT_TRUE(variable->value == value) << "the long value changed on its way";
  };
  runs->push_back(std::move(run));
}

void bare_environment(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kOrvane);
  run.args = {u"x"};
  run.options.args = run.args;
  run.options.replace_environment = true;
  runs->push_back(std::move(run));
}

// This environment plus entries that are not name=value, names that differ
// only in case, and the test-mode variable in broken forms.
void odd_environment(const Context&, Runs* runs) {
  LauncherRun run = basic_run(Launcher::kKelmis);
  run.args = {u"x"};
  run.options.args = run.args;
  run.options.replace_environment = true;
  for (const std::u16string& entry : current_environment()) {
    std::u16string name = environment_name(entry);
    bool controlled = false;
    for (const std::u16string& c : kControlledVariables) controlled |= lstrcmpiW(wide(c), wide(name)) == 0;
    if (!controlled) run.options.set.push_back(entry);
  }
  for (const char16_t* odd : {u"HOSTILE_NO_EQUALS", u"=", u"==", u"=HOSTILE=x", u"HOSTILE_DUP=1", u"hostile_dup=2",
                              u"VARNO_USERTEXTTESTMODE", u"=varno_usertexttestmode=1"}) {
    run.options.set.push_back(odd);
  }
  runs->push_back(std::move(run));
}

// Fifty launchers of two installs, started together, each with arguments
// of its own: no tool may receive another's.
void crowd(const Context&, Runs* runs) {
  auto orvane = std::make_shared<Install>(Launcher::kOrvane);
  auto kelmis = std::make_shared<Install>(Launcher::kKelmis);
  TestRandom random(20241208);
  const std::u16string units[] = {u"a", u" ", u"\"", uR"(\)", u"\u00e9", u"\U0001F600", u"\xD800", u"\t"};
  for (uint64_t i = 0; i < 50; ++i) {
    LauncherRun run;
    run.install = i % 2 ? kelmis : orvane;
    if (!run.install->ok()) run.setup_failure = "cannot install the launcher";
    run.args = {u"run " + u16(std::to_string(i))};
    for (uint32_t count = random.below(4); count > 0; --count) {
      std::u16string arg;
      for (uint32_t n = random.below(8); n > 0; --n) arg += units[random.below(8)];
      run.args.push_back(arg);
    }
    run.args.push_back(u16(std::to_string(i)));
    run.options.args = run.args;
    run.options.timeout_ms = 120000;
    run.label = "run " + std::to_string(i);
    runs->push_back(std::move(run));
  }
}

// --- the table ------------------------------------------------------------------------

// The tool cut off after its headers (a bare "MZ" header with nothing
// behind it is a DOS program to Wine, which hands it to its DOS loader).
bool cut_off_tool(const std::u16string& path) {
  std::string bytes;
  return read_file(built_tool(), &bytes) && bytes.size() > 1024 && write_file(path, bytes.substr(0, 1024));
}

const Launcher kO = Launcher::kOrvane;
const Launcher kK = Launcher::kKelmis;

std::vector<Row> table() {
  using C = const Context&;
  const bool wine = running_under_wine();
  std::vector<Row> rows = {
      // Command lines.
      {"tool's line exactly at the limit (orvane)", kDelivered,
       [](C, Runs* r) { line_of_length(kO, kLongestLine, false, r); }},
      {"tool's line exactly at the limit (kelmis)", kDelivered,
       [](C, Runs* r) { line_of_length(kK, kLongestLine, false, r); }},
      // Windows refuses a longer line with 206; other systems may pass it on
      // cut short, and a tool must never run with a cut line.
      {"tool's line one unit past the limit", box(kFileNameTooLong),
       [](C, Runs* r) { line_of_length(kO, kLongestLine + 1, false, r); }},
      {"own line at the system's limit", box(kFileNameTooLong),
       [](C, Runs* r) { line_of_length(kK, kLongestLine, true, r); }},
      {"doubled trailing backslashes push the tool's line past the limit", box(kFileNameTooLong), doubled_backslashes},
      {"unpaired surrogates", kDelivered,
       [](C, Runs* r) {
         with_args(kK, {u"\xD800", u"a\xDC00z", u"\xDBFF\xDBFF", u"\xDFFF\xD800", u"x \xD83D", u"\xDE00 \""}, r);
       }},
      {"thousands of empty arguments", kDelivered, [](C, Runs* r) { with_args(kO, empty_arguments(), r); }},
      {"arguments of only quotes and backslashes", kDelivered,
       [](C, Runs* r) {
         with_args(kO,
                   {u"\"", u"\"\"", u"\"\"\"", uR"(\)", uR"(\\\)", uR"(\")", uR"("\)", uR"(\"\)", uR"(\\"\\)",
                    uR"(" \)", u"\\ \"", std::u16string(300, u'\\'), std::u16string(300, u'"'), u"\\\\\\\"\"\"\\"},
                   r);
       }},
      {"hand-written runs of quotes and backslashes", kDelivered, hand_written_tail},
      {"control characters, noncharacters and byte-order marks", kDelivered,
       [](C, Runs* r) { with_args(kO, controls_and_noncharacters(), r); }},
      {"empty command line", kDelivered, [](C, Runs* r) { whole_line(kK, u"", r); }},
      {"command line of blanks and tabs only", kDelivered, [](C, Runs* r) { whole_line(kO, u"  \t \t ", r); }},
      {"command line whose program name lies", kDelivered,
       [](C c, Runs* r) { whole_line(kO, u"\"" + c.drive + uR"(\nowhere\tavrin.exe" x "y z")", r); }, false,
       Mounts::kDrive},
      // The tool.
      {"tool is a text file", box(193),
       [](C, Runs* r) { broken_tool([](const std::u16string& p) { return write_file(p, "not a program\r\n"); }, r); }},
      {"tool is an empty file", box(193),
       [](C, Runs* r) { broken_tool([](const std::u16string& p) { return write_file(p, ""); }, r); }},
      {"tool cut off after its headers", box(193), [](C, Runs* r) { broken_tool(cut_off_tool, r); }},
      {"tool is a directory", box(5),
       [](C, Runs* r) {
         broken_tool([](const std::u16string& p) { return CreateDirectoryW(wide(p), nullptr) != 0; }, r);
       }},
      {"tool held open without sharing", box(32), tool_held_open},
      {"tool missing, look-alikes beside it", box(2), look_alikes},
      {"tool crashes", kDelivered, [](C, Runs* r) { tool_with(kO, {u"PROBE_CRASH=1"}, r); }},
      {"tool ends with exception-like codes", kDelivered, exception_codes},
      {"tool lingers after its report", kDelivered, lingering_tool},
      {"tool killed from outside while the launcher waits", kDelivered, tool_killed},
      // Standard handles.
      {"no standard handles at all", kDelivered, no_handles},
      {"standard handles that name nothing", kDelivered, dead_handles},
      {"standard output a pipe nobody reads", kDelivered, output_nobody_reads},
      {"standard input a pipe nobody writes", kDelivered, input_nobody_writes},
      {"standard output a file open for reading only", kDelivered, output_read_only},
      // Install folders and drives.
      {"install folder with spaces, non-ASCII and emoji", kDelivered, odd_folder},
      {R"(launcher started through a \\?\ path (no parsing))", kDelivered,
       [](C, Runs* r) { started_through(uR"(\\?\)", r); }},
      {R"(launcher started through a \\.\ path (device namespace))", kDelivered,
       [](C, Runs* r) { started_through(uR"(\\.\)", r); }},
      // Wine names a program started from a share without the leading
      // "\\" (see on_share); Windows names it in full.
      {"launcher on a UNC share, decoys on the current drive", wine ? delivered_or_box(kFileNameTooLong) : kDelivered,
       [](C c, Runs* r) { on_share(c, true, r); }, false, Mounts::kShare},
      {"launcher on a UNC share's root, decoys on the current drive",
       wine ? delivered_or_box(kFileNameTooLong) : kDelivered, [](C c, Runs* r) { on_share(c, false, r); }, false,
       Mounts::kShare},
      {"launcher at a drive's root", kDelivered, at_drive_root, false, Mounts::kDrive},
      {"launcher renamed", kDelivered, renamed},
      {"own path of 259 units", kDelivered, [](C c, Runs* r) { own_path_of(kO, 259, c, r); }},
      // Past the system's limit for program paths the launcher still knows
      // its folder: the system decides about the start. Wine refuses it;
      // Windows refuses it for a program that is not long-path aware (the
      // launchers' manifests do not say so), perhaps with 206 itself.
      {"own path of 280 units, decoys on the current drive",
       wine ? delivered_or_refused_but_not(kFileNameTooLong) : kRefusedBySystem,
       [](C c, Runs* r) { own_path_of(kO, 280, c, r); }, false, Mounts::kDrive},
      {"own path of 300 units, decoys on the current drive", box(kFileNameTooLong),
       [](C c, Runs* r) { own_path_of(kK, 300, c, r); }, false, Mounts::kDrive},
      {"current directory on another drive with a decoy, tool present", kDelivered,
       [](C c, Runs* r) { current_directory_elsewhere(true, c, r); }, false, Mounts::kDrive},
      {"current directory on another drive with a decoy, tool missing", box(2),
       [](C c, Runs* r) { current_directory_elsewhere(false, c, r); }, false, Mounts::kDrive},
      // Environment.
      {"thousands of variables", kDelivered, many_variables},
      {"one variable of 32000 units", kDelivered, long_variable},
      {"no environment beyond the tool's report variable", kDelivered, bare_environment},
      {"environment entries that are not name=value", kDelivered, odd_environment},
      // Many at once.
      {"50 launchers at once", kDelivered, crowd, true},
  };
  // The test-mode variable with hostile values, the tool missing: the box
  // shows the keys exactly when the value's low 32 bits are not all zero.
  struct TestModeValue {
    std::u16string value;
    bool decorated;
  };
  const TestModeValue values[] = {
      {u"0x", false},
      {u"0x0", false},
      {u"0x1", true},
      {u"0xg", false},
      {u"0xFFFFFFFF00000000", false},
      {u"4294967296", false},
      {u"4294967297", true},
      {u"18446744073709551617", true},
      {u"-1", true},
      {u"\f1", false},
      {u" \t 1 \r\n", true},
      {u"abc", false},
      {u"\u0661", false},
      {u"\uFF11", false},
      {u"offset", false},
      {u"yesterday", true},
      {std::u16string(32000, u'0') + u"1", true},
      {u"1" + std::u16string(32000, u'0'), false},  // 10^32000 is 0 modulo 2^64
      {std::u16string(32000, u'9'), true},          // 10^32000 - 1 is all ones modulo 2^64
      {std::u16string(32000, u'x'), false},
  };
  for (const TestModeValue& v : values) {
    std::string shown_value =
        v.value.size() > 40 ? escaped(v.value.substr(0, 12)) + "... (" + std::to_string(v.value.size()) + " units)"
                            : "[" + escaped(v.value) + "]";
    rows.push_back({"test mode " + shown_value + (v.decorated ? " on" : " off"), box(2),
                    [v](C, Runs* r) { test_mode_value(v.value, v.decorated, r); }});
  }
  return rows;
}

// --- checks ------------------------------------------------------------------------------

// Wine names a program started from a share UNC\server\share\... (without
// the leading separators) to the program itself; read that as the share.
std::u16string module_path(const std::u16string& reported) {
  if (reported.compare(0, 4, uR"(UNC\)") == 0) return uR"(\\)" + reported.substr(4);
  return reported;
}

bool report_is_tool(const LauncherRun& run, const ProbeReport& report) {
  return same_file(module_path(report.module), tool_of(run));
}

void expect_delivered_run(const LauncherRun& run, const LaunchOutcome& outcome) {
  EXPECT_FALSE(outcome.box.found) << brief(outcome);
  EXPECT_EQ(outcome.exit_code, 1u) << brief(outcome);
  ASSERT_EQ(outcome.reports.size(), 1u) << brief(outcome);
  const ProbeReport& report = outcome.reports[0];
  std::vector<std::u16string> expected = tool_vector(run);
  ASSERT_FALSE(report.args.empty());
  std::vector<std::u16string> rest(report.args.begin() + 1, report.args.end());
  std::vector<std::u16string> expected_rest(expected.begin() + 1, expected.end());
  EXPECT_TRUE(rest == expected_rest) << "expected " << escaped(expected) << "\n" << brief(outcome);
  if (run.tool_text_may_differ) {
    EXPECT_TRUE(same_file(report.args[0], tool_of(run))) << brief(outcome);
  } else {
    EXPECT_EQ(escaped(report.args[0]), escaped(tool_of(run)));
  }
}

void expect_box_run(const LauncherRun& run, uint32_t code, const LaunchOutcome& outcome) {
  EXPECT_TRUE(outcome.reports.empty()) << "something was started\n" << brief(outcome);
  ASSERT_TRUE(outcome.box.found) << brief(outcome);
  EXPECT_EQ(outcome.exit_code, code) << brief(outcome);
  EXPECT_EQ(escaped(outcome.box.title), escaped(failure_title(run.install->which(), run.test_mode)));
  std::vector<std::u16string> vector = run.shown.empty() ? tool_vector(run) : run.shown;
  std::u16string text = failure_text(code, quoted_command_line(vector), run.test_mode);
  if (outcome.box.text != text) {
    // Long texts are compared by their length and their ends.
    ADD_FAILURE() << "box text differs: expected " << text.size() << " units, got " << outcome.box.text.size()
                  << "\nexpected begins [" << escaped(text.substr(0, 300)) << "]\ngot begins      ["
                  << escaped(outcome.box.text.substr(0, 300)) << "]\nexpected ends ["
                  << escaped(text.substr(text.size() > 200 ? text.size() - 200 : 0)) << "]\ngot ends      ["
                  << escaped(outcome.box.text.substr(outcome.box.text.size() > 200 ? outcome.box.text.size() - 200 : 0))
                  << "]";
  }
}

void check_run(const Row& row, const LauncherRun& run, const LaunchOutcome& outcome) {
  // Never: an unobserved run (a hang ends it), a crash of the launcher, or
  // a start of anything but the tool beside it.
  EXPECT_EQ(outcome.failure, "") << brief(outcome);
  EXPECT_LT(outcome.exit_code, 0xC0000000u) << "the launcher ended with an exception code\n" << brief(outcome);
  for (const ProbeReport& report : outcome.reports) {
    EXPECT_TRUE(report_is_tool(run, report))
        << "a program other than the tool beside the launcher ran: " << escaped(report.module) << "\n"
        << brief(outcome);
  }
  const Expected& expected = row.expected;
  switch (expected.outcome) {
    case Outcome::kDelivered: expect_delivered_run(run, outcome); break;
    case Outcome::kBox: expect_box_run(run, expected.code, outcome); break;
    case Outcome::kDeliveredOrBox:
      if (outcome.box.found) {
        expect_box_run(run, expected.code, outcome);
      } else {
        expect_delivered_run(run, outcome);
      }
      break;
    case Outcome::kDeliveredOrSystemRefusal:
      if (outcome.box.found) {
        int64_t code = code_in_failure_text(outcome.box.text);
        EXPECT_GT(code, 0) << brief(outcome);
        EXPECT_NE(code, int64_t(expected.code)) << brief(outcome);
        if (code > 0) expect_box_run(run, uint32_t(code), outcome);
      } else {
        expect_delivered_run(run, outcome);
      }
      break;
    case Outcome::kSystemRefusal: {
      int64_t code = code_in_failure_text(outcome.box.text);
      EXPECT_GT(code, 0) << brief(outcome);
      expect_box_run(run, code > 0 ? uint32_t(code) : 0, outcome);
      break;
    }
  }
  if (run.check) run.check(outcome);
}

Context context_from_environment() {
  Context context;
  context.drive = given_resource(L"LAUNCHERS_E2E_DRIVE", &context.no_drive);
  context.share = given_resource(L"LAUNCHERS_E2E_SHARE", &context.no_share);
  return context;
}

// Why the row cannot run where the test bundle's runner could not give what
// it needs; empty when it can.
std::string unavailable_for(const Row& row, const Context& context) {
  std::string why;
  if (row.mounts != Mounts::kNone && !context.no_drive.empty()) why = "no spare drive: " + context.no_drive + "; ";
  if (row.mounts == Mounts::kShare && !context.no_share.empty()) why += "no UNC share: " + context.no_share + "; ";
  return why.substr(0, why.size() - std::min<size_t>(why.size(), 2));
}

// --- the rows as tests -----------------------------------------------------------------

// The table with its test names: each row's words capitalised, of letters
// and digits only (an apostrophe joins, anything else parts words; "_" between
// two numbers), numbered when an earlier row has the same name.
const std::vector<Row>& rows() {
  static const std::vector<Row> named = [] {
    std::vector<Row> made = table();
    std::map<std::string, int> seen;
    for (Row& row : made) {
      std::string& name = row.test_name;
      bool word_starts = true;
      for (unsigned char c : row.name) {
        if (!std::isalnum(c)) {
          if (c != '\'') word_starts = true;
          continue;
        }
        if (word_starts && std::isdigit(c) && !name.empty() && std::isdigit(static_cast<unsigned char>(name.back()))) {
          name += '_';
        }
        name += word_starts ? char(std::toupper(c)) : char(c);
        word_starts = false;
      }
      if (int times = ++seen[name]; times > 1) name += "_" + std::to_string(times);
    }
    return made;
  }();
  return named;
}

// A table emptied by mistake would leave no test to fail.
class TableIsNotEmptied : public testing::Environment {
  void SetUp() override { EXPECT_GE(rows().size(), 20u); }
};
testing::Environment* const kTableIsNotEmptied = testing::AddGlobalTestEnvironment(new TableIsNotEmptied);

// The indices of the rows that need the share, or of the others.
std::vector<size_t> rows_on_share(bool on_share) {
  std::vector<size_t> chosen;
  for (size_t r = 0; r < rows().size(); ++r) {
    if ((rows()[r].mounts == Mounts::kShare) == on_share) chosen.push_back(r);
  }
  return chosen;
}

std::string row_test_name(const testing::TestParamInfo<size_t>& info) { return rows()[info.param].test_name; }

// The rows of the running suite that are to run (all, or those a filter
// picked, but for those that cannot run here), found by their test names.
std::vector<size_t> rows_to_run(const Context& context) {
  const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
  std::vector<size_t> chosen;
  for (int i = 0; i < suite->total_test_count(); ++i) {
    const testing::TestInfo* test = suite->GetTestInfo(i);
    if (!test->should_run()) continue;
    std::string name = test->name();
    for (size_t r = 0; r < rows().size(); ++r) {
      bool runs = unavailable_for(rows()[r], context).empty();
      if (name.substr(name.rfind('/') + 1) == rows()[r].test_name && runs) chosen.push_back(r);
    }
  }
  return chosen;
}

struct Planned {
  size_t row;
  LauncherRun run;
  LaunchOutcome outcome;
};

// Prepares and launches every run of `chosen` rows together.
std::vector<Planned> launch_rows(const Context& context, const std::vector<size_t>& chosen) {
  std::vector<Planned> plan;
  for (size_t r : chosen) {
    std::vector<LauncherRun> runs;
    rows()[r].prepare(context, &runs);
    for (LauncherRun& run : runs) {
      plan.push_back({r, std::move(run), LaunchOutcome()});
    }
  }
  auto run_one = [&](size_t i) {
    if (!plan[i].run.setup_failure.empty()) return LaunchOutcome();
    return launch(*plan[i].run.install, plan[i].run.options);
  };
  // Rows that start their runs together go one at a time, each run on a
  // thread of its own; the other rows share a few threads.
  std::vector<size_t> crowd, rest;
  for (size_t i = 0; i < plan.size(); ++i) (rows()[plan[i].row].all_at_once ? crowd : rest).push_back(i);
  if (!crowd.empty()) {
    std::vector<LaunchOutcome> got = run_concurrently<LaunchOutcome>(
        crowd.size(), [&](size_t k) { return run_one(crowd[k]); }, unsigned(crowd.size()));
    for (size_t k = 0; k < crowd.size(); ++k) plan[crowd[k]].outcome = got[k];
  }
  std::vector<LaunchOutcome> got = run_concurrently<LaunchOutcome>(
      rest.size(), [&](size_t k) { return run_one(rest[k]); }, 6);
  for (size_t k = 0; k < rest.size(); ++k) plan[rest[k]].outcome = got[k];
  return plan;
}

// One test per row. The runs of all the suite's rows that are to run start
// together on its first test, as one row after another would take many
// times as long; each test then checks its own row's runs. The runs (and
// what they hold) are kept until the suite ends.
class HostileRows : public testing::TestWithParam<size_t> {
 public:
  static void TearDownTestSuite() { launched_.reset(); }

 protected:
  // Skips the row where the test bundle's runner said that the machine
  // cannot give what it needs; fails where nobody gave it.
  void run_row(bool share_too) {
    Context context = context_from_environment();
    std::string unavailable = unavailable_for(rows()[GetParam()], context);
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    ASSERT_FALSE((context.drive.empty() && context.no_drive.empty()) ||
                 (share_too && context.share.empty() && context.no_share.empty()))
        << "LAUNCHERS_E2E_DRIVE or LAUNCHERS_E2E_SHARE is not set: run this program through hostile_mounts.sh, or "
           "from the test bundle's run-tests.cmd";
    check_row(context);
  }

  void check_row(const Context& context) {
    if (!launched_) launched_ = std::make_unique<std::vector<Planned>>(launch_rows(context, rows_to_run(context)));
    const Row& row = rows()[GetParam()];
    size_t checked = 0;
    for (const Planned& planned : *launched_) {
      if (planned.row != GetParam()) continue;
      ++checked;
      const LauncherRun& run = planned.run;
      SCOPED_TRACE(row.name + (run.label.empty() ? "" : " / " + run.label));
      if (!run.setup_failure.empty()) {
        ADD_FAILURE() << "set-up failed: " << run.setup_failure;
        continue;
      }
      check_run(row, run, planned.outcome);
    }
    EXPECT_GT(checked, 0u) << "no run of this row was launched";
  }

 private:
  static inline std::unique_ptr<std::vector<Planned>> launched_;
};

class HostileE2e : public HostileRows {};
class HostileE2eOnShare : public HostileRows {};

TEST_P(HostileE2e, EndsAsItsRowSays) { run_row(false); }

INSTANTIATE_TEST_SUITE_P(Table, HostileE2e, testing::ValuesIn(rows_on_share(false)), row_test_name);

TEST_P(HostileE2eOnShare, EndsAsItsRowSays) { run_row(true); }

INSTANTIATE_TEST_SUITE_P(Table, HostileE2eOnShare, testing::ValuesIn(rows_on_share(true)), row_test_name);

}  // namespace
