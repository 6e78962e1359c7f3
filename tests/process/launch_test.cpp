// start_process with a real child (the test tool) under Wine: what the child
// receives (arguments, handles, window, environment, directory) and how
// failures leave the caller.
#include "launch_test_support.h"

#include <shellapi.h>

#include <algorithm>

#include "cmdline/quote.h"
#include "support/system.h"
#include "text/wide.h"

namespace {

std::u16string text_of(const std::string& utf8_text) { return u16(utf8_text); }

// --- arguments -----------------------------------------------------------------

TEST(ProcessLaunch, ChildReceivesExactlyTheArgumentVector) {
  const std::vector<std::vector<std::u16string>> vectors = {
      {},
      {u"convert", u"-g", u"a", u"b"},
      {u"create", u"-g", u"", u"x"},
      {u"two words", u"  ", u" lead", u"trail "},
      {u"a\"b", u"\"", u"\"\"", u"\"quoted\"", u"a \" b"},
      {uR"(back\)", uR"(a\b)", uR"(a\\b)", uR"(\\server\share\)", uR"(a\"b)", uR"(a\\"b)", uR"(end\\)"},
      {uR"(with space\)", uR"(with space\\)", uR"(\ \)", uR"(\")"},
      {u"tab\there", u"\t", u"new\nline", u"\x0b"},
      {u"\u00e9l\u00e8ve", u"\u4e2d\u6587", u"\U0001F600 emoji", u"\u00a0nbsp"},
      {u"\xD800", u"a\xDC00z", u"\xDBFF\xDBFF", u"\xDFFF x"},
      {u"", u"", u""},
      {u"%PATH%", u"^&|<>", u"*?", u"'single'"},
  };
  for (const std::vector<std::u16string>& args : vectors) {
    std::string trace;
    for (const std::u16string& a : args) trace += "[" + escaped(a) + "]";
    SCOPED_TRACE(trace);
    ProbeStart start;
    start.args = args;
    ProbeReport report;
    ASSERT_TRUE(run_probe(start, &report));
    std::vector<std::u16string> expected = {probe_program()};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(report.args, expected);
    // The child's raw command line is the quoted vector, unchanged.
    WideArray argv(expected);
    char16_t* line = join_command_line(argv.get());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(report.command_line, std::u16string(line));
    wide_free(line);
  }
}

TEST(ProcessLaunch, RandomArgumentVectorsArriveUnchanged) {
  const char16_t pieces[] = {u'a', u' ', u'\t', u'\\', u'"', u'\\', u'"', u'x', 0xE9, 0xD83D, 0xDE00, 0xDC00};
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(seed);
    std::vector<std::u16string> args(1 + random.below(6));
    for (std::u16string& a : args) {
      for (size_t k = random.below(8); k > 0; --k) a += pieces[random.below(sizeof pieces / sizeof pieces[0])];
    }
    ProbeStart start;
    start.args = args;
    ProbeReport report;
    ASSERT_TRUE(run_probe(start, &report));
    ASSERT_EQ(report.args.size(), args.size() + 1);
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(report.args[i + 1], args[i]) << i << ": " << escaped(args[i]);
  }
}

// The longest line Windows passes on is 32,766 units (32,767 with the
// terminator). At the limit the child gets the line whole; a longer one is
// refused with the code Windows gives, whether or not the system would.
TEST(ProcessLaunch, CommandLineLimitIsKeptToTheUnit) {
  auto line_length = [](const std::vector<std::u16string>& vector) {
    WideArray argv(vector);
    char16_t* line = join_command_line(argv.get());
    size_t length = line ? wide_length(line) : 0;
    wide_free(line);
    return length;
  };
  for (size_t length : {size_t(32766), size_t(32767), size_t(40000)}) {
    SCOPED_TRACE("line of " + std::to_string(length) + " units");
    // One padding argument of letters brings the line to the length.
    std::vector<std::u16string> vector = {probe_program(), u"x"};
    vector[1].assign(length - line_length(vector) + 1, u'x');
    ASSERT_EQ(line_length(vector), length);
    if (length <= 32766) {
      ProbeStart start;
      start.args = {vector[1]};
      ProbeReport report;
      ASSERT_TRUE(run_probe(start, &report));
      EXPECT_EQ(report.args, vector);
      EXPECT_EQ(report.command_line.size(), length);
    } else {
      WideArray argv(vector);
      ProcessHandle* out = nullptr;
      EXPECT_EQ(start_process_retrying(&out, kStartNoWindow, argv.get(), nullptr, nullptr, INVALID_HANDLE_VALUE,
                                       INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE),
                uint32_t(ERROR_FILENAME_EXCED_RANGE));
      EXPECT_EQ(out, nullptr);
    }
  }
}

TEST(ProcessLaunch, ProgramPathWithSpacesStartsTheRightProgram) {
  TempDir dir(u"space dir");
  ASSERT_TRUE(dir.ok());
  // A decoy that a start without quotes would find first ("...\space" +
  // ".exe" does not exist, but "probe" alone must not be taken either).
  std::u16string folder = dir.file(u"my tools");
  ASSERT_TRUE(CreateDirectoryW(wide(folder), nullptr));
  std::u16string program = join_path(folder, u"the probe.exe");
  ASSERT_TRUE(copy_file(probe_program(), program));
  ProbeStart start;
  start.program = program;
  start.args = {u"x y"};
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  EXPECT_EQ(report.module, program);
  EXPECT_EQ(report.args, (std::vector<std::u16string>{program, u"x y"}));
}

// --- standard handles ------------------------------------------------------------

TEST(ProcessLaunch, RequestedHandlesReachTheChild) {
  TempDir dir(u"handles");
  ASSERT_TRUE(dir.ok());
  std::u16string input_path = dir.file(u"input.txt");
  ASSERT_TRUE(write_file(input_path, "line one\r\n\xC3\xA9 two\n"));
  HANDLE input = CreateFileW(wide(input_path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  TestPipe output, error;
  ASSERT_TRUE(output.read && error.read);

  ScopedVariable read_input(u"PROBE_STDIN", u"1");
  ScopedVariable out_line(u"PROBE_STDOUT", u"to out \u00e9");
  ScopedVariable err_line(u"PROBE_STDERR", u"to err");
  ProbeStart start;
  start.std_input = input;
  start.std_output = output.write;
  start.std_error = error.write;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  CloseHandle(input);
  output.close_write();
  error.close_write();

  EXPECT_EQ(report.handles[0].type, "disk");
  EXPECT_EQ(report.handles[1].type, "pipe");
  EXPECT_EQ(report.handles[2].type, "pipe");
  EXPECT_EQ(report.stdin_data, "line one\r\n\xC3\xA9 two\n");
  EXPECT_EQ(report.stdout_write.error, 0u);
  {
    std::string text;
    EXPECT_TRUE(output.read_all(&text)) << "a write end of the pipe stayed open";
    EXPECT_EQ(text, "to out \xC3\xA9\n");
  }
  {
    std::string text;
    EXPECT_TRUE(error.read_all(&text)) << "a write end of the pipe stayed open";
    EXPECT_EQ(text, "to err\n");
  }
}

TEST(ProcessLaunch, WithoutRequestsTheCallersOwnHandlesArePassedOn) {
  TestPipe output, error;
  ASSERT_TRUE(output.read && error.read);
  ScopedStdHandle own_output(STD_OUTPUT_HANDLE, output.write);
  ScopedStdHandle own_error(STD_ERROR_HANDLE, error.write);
  ScopedVariable out_line(u"PROBE_STDOUT", u"through own output");
  ScopedVariable err_line(u"PROBE_STDERR", u"through own error");
  // Both none-requested values mean the same.
  for (void* none : {static_cast<void*>(INVALID_HANDLE_VALUE), static_cast<void*>(nullptr)}) {
    ProbeStart start;
    start.std_output = none;
    start.std_error = none;
    ProbeReport report;
    ASSERT_TRUE(run_probe(start, &report));
    EXPECT_EQ(report.handles[1].type, "pipe");
    EXPECT_EQ(report.handles[2].type, "pipe");
    EXPECT_EQ(report.stdout_write.error, 0u);
    EXPECT_EQ(report.stderr_write.error, 0u);
  }
  output.close_write();
  error.close_write();
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);  // the pipes' last write ends are gone now
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
  {
    std::string text;
    EXPECT_TRUE(output.read_all(&text)) << "a write end of the pipe stayed open";
    EXPECT_EQ(text, "through own output\nthrough own output\n");
  }
  {
    std::string text;
    EXPECT_TRUE(error.read_all(&text)) << "a write end of the pipe stayed open";
    EXPECT_EQ(text, "through own error\nthrough own error\n");
  }
}

TEST(ProcessLaunch, CallerWithoutHandlesGivesTheNulDevice) {
  for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    ScopedStdHandle in(STD_INPUT_HANDLE, none);
    ScopedStdHandle out(STD_OUTPUT_HANDLE, none);
    ScopedStdHandle err(STD_ERROR_HANDLE, none);
    ScopedVariable read_input(u"PROBE_STDIN", u"1");
    ScopedVariable out_line(u"PROBE_STDOUT", u"into nothing");
    ProbeStart start;
    ProbeReport report;
    ASSERT_TRUE(run_probe(start, &report));
    for (const ProbeHandle& h : report.handles) {
      EXPECT_TRUE(h.present);
      EXPECT_EQ(h.type, "char");
      EXPECT_TRUE(h.nul);
    }
    EXPECT_EQ(report.stdin_read.error, 0u);
    EXPECT_EQ(report.stdin_data, "");
    EXPECT_EQ(report.stdout_write.error, 0u);
  }
}

TEST(ProcessLaunch, OwnHandleThatCannotBePassedOnFallsBackToNul) {
  // The caller's own output is a stale value: asked for it explicitly, the
  // start still succeeds and the child writes into the NUL device.
  HANDLE stale = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xFFFFF0));
  ScopedStdHandle out(STD_OUTPUT_HANDLE, stale);
  ProbeStart start;
  start.std_output = stale;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  EXPECT_TRUE(report.handles[1].nul);
}

TEST(ProcessLaunch, ChildStandardHandleChoices) {
  TestPipe pipe;
  HANDLE stale = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xFFFFF0));
  // Returns the file type of the duplicate made, after checking that it is an
  // inheritable handle of its own; 0 when none was made.
  auto choose = [](void* requested, void* own) -> DWORD {
    void* out = nullptr;
    uint32_t error = child_standard_handle(requested, own, &out);
    EXPECT_EQ(error, 0u);
    if (error != 0 || out == INVALID_HANDLE_VALUE || out == nullptr) return 0;
    EXPECT_NE(out, requested);
    EXPECT_NE(out, own);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(out, &flags));
    EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT) << "the duplicate must be inheritable";
    DWORD type = GetFileType(out);
    CloseHandle(out);
    return type;
  };
  HANDLE nul = open_nul_device();
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  // The requested handle wins over the caller's own.
  EXPECT_EQ(choose(pipe.write, nul), DWORD(FILE_TYPE_PIPE));
  // None requested: the caller's own, else the NUL device.
  EXPECT_EQ(choose(nullptr, pipe.read), DWORD(FILE_TYPE_PIPE));
  EXPECT_EQ(choose(INVALID_HANDLE_VALUE, pipe.read), DWORD(FILE_TYPE_PIPE));
  EXPECT_EQ(choose(INVALID_HANDLE_VALUE, nullptr), DWORD(FILE_TYPE_CHAR));
  EXPECT_EQ(choose(nullptr, INVALID_HANDLE_VALUE), DWORD(FILE_TYPE_CHAR));
  // The caller's own handle that cannot be passed on: the NUL device.
  EXPECT_EQ(choose(stale, stale), DWORD(FILE_TYPE_CHAR));
  // A stale own handle behind a good request does not matter.
  EXPECT_EQ(choose(pipe.read, stale), DWORD(FILE_TYPE_PIPE));
  // A foreign handle that cannot be duplicated is an error of its own.
  void* out = nullptr;
  EXPECT_EQ(child_standard_handle(stale, pipe.read, &out), uint32_t(ERROR_INVALID_HANDLE));
  EXPECT_EQ(out, INVALID_HANDLE_VALUE);
  CloseHandle(nul);
}

TEST(ProcessLaunch, OwnHandlesStopBeingInheritable) {
  TestPipe pipe;
  ASSERT_TRUE(SetHandleInformation(pipe.write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
  ScopedStdHandle own(STD_ERROR_HANDLE, pipe.write);
  ProbeStart start;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  DWORD flags = 0xFF;
  ASSERT_TRUE(GetHandleInformation(pipe.write, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

// --- window, environment, directory ------------------------------------------------

TEST(ProcessLaunch, NoConsoleWindowWithTheFlag) {
  // With the flag the console tool runs in a console of its own that has no
  // window.
  ProbeStart start;
  start.flags = kStartNoWindow;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  EXPECT_TRUE(report.console);
  EXPECT_FALSE(report.console_window);

  // Without it, a caller that has no console gives the tool a console with
  // a window on Windows; under Wine none at all to a caller started from
  // Unix, one with a window to a caller started detached: never the
  // windowless one.
  HANDLE own = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (own != INVALID_HANDLE_VALUE) {
    CloseHandle(own);
    // Started from a console (as the test bundle's script starts it): this
    // case runs again in a copy of this program that has none.
    if (GetEnvironmentVariableW(L"LAUNCH_TEST_DETACHED", nullptr, 0) != 0) {
      GTEST_SKIP() << "started without a console, this program still has one";
    }
    RunOptions again;
    again.argv = {this_program_path(), u"--gtest_filter=ProcessLaunch.NoConsoleWindowWithTheFlag", u"--gtest_brief=1"};
    again.use_environment = true;
    again.environment = environment_with({u"LAUNCH_TEST_DETACHED=1"});
    again.creation_flags = DETACHED_PROCESS;
    again.capture_output = true;
    RunResult run = run_process(again);
    ASSERT_EQ(run.start_error, 0u);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(run.output.find("[  SKIPPED ]"), std::string::npos) << run.output;
    return;
  }
  start.flags = 0;
  ASSERT_TRUE(run_probe(start, &report));
  if (running_under_wine()) {
    EXPECT_FALSE(report.console && !report.console_window);
  } else {
    EXPECT_TRUE(report.console);
    EXPECT_TRUE(report.console_window);
  }
}

TEST(ProcessLaunch, GivenEnvironmentArrivesSorted) {
  const std::vector<std::u16string> given = {
      u"b=2",
      u"A=1",
      uR"(=C:=C:\x)",
      u"Zed=last",
      u"_UNDER=1",
      u"a_b=3",
      uR"(PATH=C:\windows)",
      u"",
      u"Probe_Show=A;b;Zed;a_b;_UNDER;MISSING",
      u"A1=one",
      u"\u00e9t\u00e9=summer",
      u"EMPTY=",
  };
  ProbeStart start;
  start.environment = &given;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));

  // The given names, in the order the child sees them (Wine adds its own).
  std::vector<std::u16string> given_names;
  for (const std::u16string& e : given) {
    if (!e.empty()) given_names.push_back(environment_name(e));
  }
  std::vector<std::u16string> seen;
  for (const std::u16string& name : report.env_names) {
    if (std::find(given_names.begin(), given_names.end(), name) != given_names.end()) seen.push_back(name);
  }
  const std::vector<std::u16string> sorted = {u"=C:",   u"_UNDER", u"A1",         u"A",   u"a_b",          u"b",
                                              u"EMPTY", u"PATH",   u"Probe_Show", u"Zed", u"\u00e9t\u00e9"};
  std::vector<std::u16string> expected;
  for (const std::u16string& name : sorted) {
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) expected.push_back(name);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_GE(seen.size(), sorted.size() - 1) << "most given variables must arrive";

  EXPECT_EQ(report.variable(u"A")->value, u"1");
  EXPECT_EQ(report.variable(u"Zed")->value, u"last");
  EXPECT_EQ(report.variable(u"a_b")->value, u"3");
  EXPECT_FALSE(report.variable(u"MISSING")->present);
}

TEST(ProcessLaunch, WithoutEnvironmentTheChildInheritsOurs) {
  ScopedVariable mine(u"LAUNCH_TEST_MARK", u"inherited \u00e9\xD800");
  ScopedVariable show(u"PROBE_SHOW", u"LAUNCH_TEST_MARK");
  ProbeStart start;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  ASSERT_NE(report.variable(u"LAUNCH_TEST_MARK"), nullptr);
  EXPECT_EQ(report.variable(u"LAUNCH_TEST_MARK")->value, u"inherited \u00e9\xD800");
}

TEST(ProcessLaunch, CurrentDirectoryIsTheGivenOneOrOurs) {
  TempDir dir(u"cwd \u00e9");
  ASSERT_TRUE(dir.ok());
  ProbeStart start;
  start.directory = dir.path().c_str();
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  EXPECT_EQ(report.current_directory, dir.path());

  ProbeStart inherit;
  ASSERT_TRUE(run_probe(inherit, &report));
  wchar_t ours[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, ours), 0u);
  EXPECT_EQ(report.current_directory, u16(ours));
}

TEST(ProcessLaunch, ExitCodeOfTheChildIsCollected) {
  ScopedVariable code(u"PROBE_EXIT", u"0xFFFFFFFE");
  ProbeStart start;
  start.expected_exit = 0xFFFFFFFE;
  ProbeReport report;
  EXPECT_TRUE(run_probe(start, &report));
}

// --- failures ------------------------------------------------------------------------

struct FailedStart {
  const char* what;
  std::vector<std::u16string> argv;
  const char16_t* directory;
  void* std_output;
  const char16_t* user;
  uint32_t expected;  // 0: any non-zero code
};

std::vector<FailedStart> failed_starts() {
  std::u16string missing = join_path(this_program_directory(), u"no such program.exe");
  HANDLE stale = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xFFFFF0));
  return {
      {"missing program", {missing, u"a"}, nullptr, INVALID_HANDLE_VALUE, nullptr, ERROR_FILE_NOT_FOUND},
      {"missing directory", {probe_program()}, uR"(C:\no\such\directory)", INVALID_HANDLE_VALUE, nullptr, 0},
      {"handle that cannot be passed", {probe_program()}, nullptr, stale, nullptr, ERROR_INVALID_HANDLE},
      {"another user", {probe_program()}, nullptr, INVALID_HANDLE_VALUE, uR"(corp\alice)", 0},
      {"another user, bare name", {probe_program()}, nullptr, INVALID_HANDLE_VALUE, u"alice", 0},
  };
}

TEST(ProcessLaunch, FailedStartsGiveAnErrorAndNoHandle) {
  for (const FailedStart& f : failed_starts()) {
    SCOPED_TRACE(f.what);
    WideArray argv(f.argv);
    ProcessHandle* out = reinterpret_cast<ProcessHandle*>(static_cast<uintptr_t>(0x1));
    uint32_t error = start_process_as(&out, f.user, f.user ? u"secret" : nullptr, kStartNoWindow, argv.get(), nullptr,
                                      f.directory, INVALID_HANDLE_VALUE, f.std_output, INVALID_HANDLE_VALUE);
    EXPECT_NE(error, 0u);
    if (f.expected) EXPECT_EQ(error, f.expected);
    EXPECT_EQ(out, nullptr);
  }
}

TEST(ProcessLaunch, FailedStartNeverReportsAStaleError) {
  // Some logon starts fail without naming a reason (Wine's is a stub): the
  // error must still be the start's own, not whatever came before.
  // A bare user name asks for the computer's name first.
  WideArray argv({probe_program()});
  for (const char16_t* user : {uR"(corp\alice)", u"alice"}) {
    SCOPED_TRACE(utf8(user));
    ProcessHandle* out = nullptr;
    SetLastError(ERROR_BAD_ARGUMENTS);
    uint32_t error = start_process_as(&out, user, u"secret", kStartNoWindow, argv.get(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
    if (error == 0 && out) {
      out->ops->Terminate(out);
      out->ops->Release(out);
      GTEST_SKIP() << "this system ran the child as another user";
    }
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, uint32_t(ERROR_BAD_ARGUMENTS));
    EXPECT_EQ(out, nullptr);
  }
}

TEST(ProcessLaunch, FailedStartsLeakNoHandles) {
  std::vector<FailedStart> cases = failed_starts();
  auto fail_all = [&] {
    for (const FailedStart& f : cases) {
      WideArray argv(f.argv);
      ProcessHandle* out = nullptr;
      // Which error each start fails with is the test above's; here only
      // the handles left behind count.
      (void)start_process_as(&out, f.user, u"secret", kStartNoWindow, argv.get(), nullptr, f.directory,
                             INVALID_HANDLE_VALUE, f.std_output, INVALID_HANDLE_VALUE);
      if (out) out->ops->Release(out);
    }
  };
  fail_all();  // anything the system opens once, on first use
  DWORD before = handle_count();
  ASSERT_GT(before, 0u);
  for (int round = 0; round < 40; ++round) fail_all();
  EXPECT_EQ(handle_count(), before);
}

TEST(ProcessLaunch, SuccessfulStartsLeakNoHandles) {
  ProbeStart start;
  ProbeReport report;
  ASSERT_TRUE(run_probe(start, &report));
  DWORD before = handle_count();
  for (int round = 0; round < 5; ++round) ASSERT_TRUE(run_probe(start, &report));
  EXPECT_EQ(handle_count(), before);
}

TEST(ProcessLaunch, NullOutParameterStartsNothing) {
  WideArray argv({probe_program()});
  DWORD before = handle_count();
  EXPECT_EQ(start_process_retrying(nullptr, kStartNoWindow, argv.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
            uint32_t(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(handle_count(), before);
}

TEST(ProcessLaunch, ComputerNameMatchesTheSystem) {
  char16_t* name = computer_name();
  ASSERT_NE(name, nullptr);
  wchar_t expected[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(expected, &size));
  EXPECT_EQ(std::u16string(name), u16(expected));
  wide_free(name);
}

// The helpers the end-to-end tests rely on: a command line the system splits
// back into the same vector.
TEST(ProcessLaunch, TestCommandLinesSplitBack) {
  const char16_t pieces[] = {u'a', u' ', u'\t', u'\\', u'"', u'b', u'\n', u'\v'};
  for (uint64_t seed = 1; seed <= 500; ++seed) {
    TestRandom random(seed);
    std::vector<std::u16string> argv = {uR"(C:\p q\prog.exe)"};
    for (size_t n = random.below(5); n > 0; --n) {
      std::u16string a;
      for (size_t k = random.below(7); k > 0; --k) a += pieces[random.below(8)];
      argv.push_back(a);
    }
    std::u16string line = quoted_command_line(argv);
    int count = 0;
    wchar_t** split = CommandLineToArgvW(wide(line), &count);
    ASSERT_NE(split, nullptr);
    std::vector<std::u16string> back;
    for (int i = 0; i < count; ++i) back.push_back(from_wchar(split[i]));
    LocalFree(split);
    ASSERT_EQ(back, argv) << "seed " << seed << ": " << escaped(line);
  }
}

}  // namespace
