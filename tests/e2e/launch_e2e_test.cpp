// How the launchers start the tool and report a failed start, seen from
// outside: exit codes, the tool's window, environment, directory and
// standard handles, which tavrin.exe is started, install folders with
// unusual names, and the warning box read back from its window.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/test_support.h"

namespace {

const Launcher kBoth[] = {Launcher::kOrvane, Launcher::kKelmis};

const char* name_of(Launcher launcher) { return launcher == Launcher::kOrvane ? "orvane" : "kelmis"; }

std::u16string decimal16(uint32_t value) { return u16(std::to_string(value)); }

// --- exit codes -------------------------------------------------------------------

TEST(E2eExitCode, EveryToolExitCodeGivesOne) {
  // 259 is STILL_ACTIVE: a launcher that polled the tool's exit code instead
  // of waiting for its end would never stop.
  const uint32_t codes[] = {0, 3, 255, 259, 0xFFFFFFFFu};
  const size_t count = sizeof codes / sizeof codes[0];
  Install orvane(Launcher::kOrvane);
  Install kelmis(Launcher::kKelmis);
  ASSERT_TRUE(orvane.ok() && kelmis.ok());
  std::vector<LaunchOutcome> outcomes = run_concurrently<LaunchOutcome>(count * 2, [&](size_t i) {
    LaunchOptions options;
    options.set = {u"PROBE_EXIT=" + decimal16(codes[i / 2])};
    return launch(i % 2 ? kelmis : orvane, options);
  });
  for (size_t i = 0; i < outcomes.size(); ++i) {
    SCOPED_TRACE(std::string(i % 2 ? "kelmis" : "orvane") + ", tool exit code " + std::to_string(codes[i / 2]));
    expect_delivered(outcomes[i], expected_vector(i % 2 ? kelmis : orvane, {}));
  }
}

// --- window, environment, directory -------------------------------------------------

TEST(E2eChild, RunsWithoutAWindowInTheLaunchersEnvironmentAndDirectory) {
  // A variable of this process that the launcher does not get must not reach
  // the tool either: the tool sees the launcher's environment, not ours.
  ASSERT_TRUE(SetEnvironmentVariableW(L"E2E_PARENT_ONLY", L"parent"));
  TempDir directory(u"cwd \u00e4 x");
  ASSERT_TRUE(directory.ok());
  const std::u16string mark = u"e2e " + decimal16(GetCurrentProcessId()) + u" zw\u00f6lf \u2713 =x";
  for (Launcher launcher : kBoth) {
    SCOPED_TRACE(name_of(launcher));
    Install install(launcher);
    ASSERT_TRUE(install.ok());
    LaunchOptions options;
    options.args = {u"a b"};
    options.set = {u"E2E_MARK=" + mark, u"E2E_EMPTY=", u"PROBE_SHOW=E2E_MARK;E2E_EMPTY;E2E_PARENT_ONLY"};
    options.remove = {u"E2E_PARENT_ONLY"};
    options.directory = directory.path();
    // With a console window of the launcher's own (Wine gives one even to a
    // GUI program when asked): a tool that shared it, or that got a console
    // of its own with a window, would report a window.
    options.creation_flags = CREATE_NEW_CONSOLE;
    LaunchOutcome outcome = launch(install, options);
    const ProbeReport* report = expect_delivered(outcome, expected_vector(install, {u"a b"}));
    if (!report) continue;
    EXPECT_FALSE(report->console_window);
    EXPECT_EQ(escaped(report->current_directory), escaped(directory.path()));
    const ProbeVariable* variable = report->variable(u"E2E_MARK");
    ASSERT_NE(variable, nullptr);
    EXPECT_TRUE(variable->present);
    EXPECT_EQ(escaped(variable->value), escaped(mark));
    variable = report->variable(u"E2E_EMPTY");
    ASSERT_NE(variable, nullptr);
    EXPECT_TRUE(variable->present);
    EXPECT_EQ(variable->value, u"");
    variable = report->variable(u"E2E_PARENT_ONLY");
    ASSERT_NE(variable, nullptr);
    EXPECT_FALSE(variable->present);
  }
  SetEnvironmentVariableW(L"E2E_PARENT_ONLY", nullptr);
}

// --- standard handles ----------------------------------------------------------------

struct OwnedFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~OwnedFile() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

HANDLE open_file(const std::u16string& path, bool write) {
  return CreateFileW(wide(path), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

const std::u16string kOutLine = u"to stdout \u00fc";
const std::u16string kErrLine = u"to stderr \U0001F600";
const std::string kInput = std::string("input line\n\x01\xff tail", 17);

std::vector<std::u16string> handle_variables() {
  return {u"PROBE_STDIN=1", u"PROBE_STDOUT=" + kOutLine, u"PROBE_STDERR=" + kErrLine};
}

TEST(E2eHandles, PipesArePassedOn) {
  Install install(Launcher::kOrvane);
  ASSERT_TRUE(install.ok());
  LaunchOptions options;
  options.set = handle_variables();
  options.feed_input = true;
  options.input = kInput;
  options.capture_output = true;
  options.capture_error = true;
  LaunchOutcome outcome = launch(install, options);
  const ProbeReport* report = expect_delivered(outcome, expected_vector(install, {}));
  ASSERT_NE(report, nullptr);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(report->handles[k].type, "pipe") << k;
    EXPECT_FALSE(report->handles[k].nul) << k;
  }
  EXPECT_EQ(report->stdin_read.error, 0u);
  EXPECT_EQ(report->stdin_data, kInput);
  EXPECT_EQ(report->stdout_write.error, 0u);
  EXPECT_EQ(report->stderr_write.error, 0u);
  EXPECT_EQ(outcome.output, utf8(kOutLine) + "\n");
  EXPECT_EQ(outcome.error_output, utf8(kErrLine) + "\n");
}

TEST(E2eHandles, FilesArePassedOn) {
  TempDir files(u"files");
  ASSERT_TRUE(files.ok());
  ASSERT_TRUE(write_file(files.file(u"in.txt"), kInput));
  Install install(Launcher::kKelmis);
  ASSERT_TRUE(install.ok());
  LaunchOutcome outcome;
  {
    OwnedFile input, output, error;
    input.handle = open_file(files.file(u"in.txt"), false);
    output.handle = open_file(files.file(u"out.txt"), true);
    error.handle = open_file(files.file(u"err.txt"), true);
    ASSERT_NE(input.handle, INVALID_HANDLE_VALUE);
    ASSERT_NE(output.handle, INVALID_HANDLE_VALUE);
    ASSERT_NE(error.handle, INVALID_HANDLE_VALUE);
    LaunchOptions options;
    options.set = handle_variables();
    options.std_input = input.handle;
    options.std_output = output.handle;
    options.std_error = error.handle;
    outcome = launch(install, options);
  }
  const ProbeReport* report = expect_delivered(outcome, expected_vector(install, {}));
  ASSERT_NE(report, nullptr);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(report->handles[k].type, "disk") << k;
  EXPECT_EQ(report->stdin_data, kInput);
  std::string written;
  ASSERT_TRUE(read_file(files.file(u"out.txt"), &written));
  EXPECT_EQ(written, utf8(kOutLine) + "\n");
  ASSERT_TRUE(read_file(files.file(u"err.txt"), &written));
  EXPECT_EQ(written, utf8(kErrLine) + "\n");
}

// A launcher without standard handles (started from a desktop) gives the
// tool the NUL device; one with some handles passes those and fills the
// gaps with NUL.
TEST(E2eHandles, MissingHandlesBecomeTheNulDevice) {
  struct Case {
    const char* name;
    bool with_output;
  };
  const Case cases[] = {{"no handles at all", false}, {"only an output pipe", true}};
  Install install(Launcher::kOrvane);
  ASSERT_TRUE(install.ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LaunchOptions options;
    options.set = handle_variables();
    options.std_input = INVALID_HANDLE_VALUE;
    options.std_error = INVALID_HANDLE_VALUE;
    if (c.with_output) {
      options.capture_output = true;
    } else {
      options.std_output = INVALID_HANDLE_VALUE;
    }
    LaunchOutcome outcome = launch(install, options);
    const ProbeReport* report = expect_delivered(outcome, expected_vector(install, {}));
    if (!report) continue;
    for (int k = 0; k < 3; ++k) {
      bool nul_expected = !(k == 1 && c.with_output);
      EXPECT_TRUE(report->handles[k].present) << k;
      EXPECT_EQ(report->handles[k].nul, nul_expected) << k << " type " << report->handles[k].type;
    }
    // Reading NUL gives end of file at once; writing to it succeeds.
    EXPECT_EQ(report->stdin_read.error, 0u);
    EXPECT_EQ(report->stdin_data, "");
    EXPECT_EQ(report->stdout_write.error, 0u);
    EXPECT_EQ(report->stderr_write.error, 0u);
    if (c.with_output) {
      EXPECT_EQ(report->handles[1].type, "pipe");
      EXPECT_EQ(outcome.output, utf8(kOutLine) + "\n");
    }
  }
}

// --- which tavrin.exe ------------------------------------------------------------------

// A tavrin.exe in the current directory or on PATH is never the one started:
// not when the real one is there, and not in its place when it is missing.
TEST(E2eDecoy, ToolsInTheCurrentDirectoryOrOnPathAreNeverStarted) {
  TempDir current(u"decoy cwd");
  TempDir on_path(u"decoy path");
  ASSERT_TRUE(current.ok() && on_path.ok());
  ASSERT_TRUE(place_tool(current.file(u"tavrin.exe")));
  ASSERT_TRUE(place_tool(on_path.file(u"tavrin.exe")));
  std::u16string old_path = environment_text(L"PATH");
  for (bool tool_present : {true, false}) {
    SCOPED_TRACE(tool_present ? "real tool present" : "real tool missing");
    Install install(Launcher::kOrvane, u"", tool_present);
    ASSERT_TRUE(install.ok());
    LaunchOptions options;
    options.args = {u"x"};
    options.directory = current.path();
    options.set = {u"PATH=" + on_path.path() + u";" + old_path};
    LaunchOutcome outcome = launch(install, options);
    for (const ProbeReport& report : outcome.reports) {
      EXPECT_EQ(escaped(report.module), escaped(install.tool())) << outcome.describe();
    }
    if (tool_present) {
      expect_delivered(outcome, expected_vector(install, {u"x"}));
    } else {
      EXPECT_TRUE(outcome.reports.empty()) << outcome.describe();
      EXPECT_TRUE(outcome.box.found) << outcome.describe();
      EXPECT_EQ(outcome.exit_code, 2u) << outcome.describe();
    }
  }
}

// --- install folders --------------------------------------------------------------------

TEST(E2eInstallFolder, SpacesAndNonAsciiNamesWork) {
  const std::u16string folders[] = {
      u"Program Files (x86)\\My Tools",
      u"two  spaces  here",
      u"\u00dcn\u00efc\u00f8d\u00e9 \u65e5\u672c\u8a9e",
      u"emoji \U0001F600 dir",
      u"semi;colon,comma & amp'quote",
      u"%1 %(application_name) %%",
      u"a.b.c\\d e.f",
  };
  const size_t count = sizeof folders / sizeof folders[0];
  std::vector<LaunchOutcome> outcomes(count);
  std::vector<std::vector<std::u16string>> expected(count);
  std::vector<std::u16string> tools(count);
  outcomes = run_concurrently<LaunchOutcome>(count, [&](size_t i) {
    Install install(i % 2 ? Launcher::kKelmis : Launcher::kOrvane, folders[i]);
    if (!install.ok()) {
      LaunchOutcome failed;
      failed.failure = "cannot install into " + escaped(folders[i]);
      return failed;
    }
    expected[i] = expected_vector(install, {u"a b", u"c"});
    tools[i] = install.tool();
    LaunchOptions options;
    options.args = {u"a b", u"c"};
    options.directory = this_program_directory();
    return launch(install, options);
  });
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(escaped(folders[i]));
    const ProbeReport* report = expect_delivered(outcomes[i], expected[i]);
    if (report) EXPECT_EQ(escaped(report->module), escaped(tools[i]));
  }
}

// --- the failure box ---------------------------------------------------------------------

const std::vector<std::u16string> kShownArguments = {
    u"a", u"b c", u"q\"uote", u"tail\\", u"sp ace\\", u"t\tab", u"", u"\u00e9\U0001F600", u"%2 %(application_name)",
};

TEST(E2eFailureBox, MissingToolShowsTheBoxAndExitsWithTwo) {
  for (Launcher launcher : kBoth) {
    SCOPED_TRACE(name_of(launcher));
    Install install(launcher, u"", false);
    ASSERT_TRUE(install.ok());
    LaunchOptions options;
    options.args = kShownArguments;
    LaunchOutcome outcome = launch(install, options);
    EXPECT_EQ(outcome.failure, "") << outcome.describe();
    EXPECT_TRUE(outcome.reports.empty()) << outcome.describe();
    ASSERT_TRUE(outcome.box.found) << outcome.describe();
    EXPECT_EQ(escaped(outcome.box.title), escaped(failure_title(launcher, false)));
    std::u16string line = quoted_command_line(expected_vector(install, kShownArguments));
    EXPECT_EQ(escaped(outcome.box.text), escaped(failure_text(2, line, false)));
    EXPECT_EQ(outcome.exit_code, 2u);
  }
}

// DLLs planted beside a launcher under the names of those that Windows
// loads by name are never loaded, whether the tool starts or the box is
// shown. Under Wine this proves little: Wine's own DLLs load what they need
// by full path, so nothing would be loaded even without the launchers'
// limit on the DLL search. The proof is this test on Windows (test bundle).
TEST(E2eInstallFolder, PlantedDllsAreNeverLoaded) {
  for (Launcher launcher : kBoth) {
    for (bool with_tool : {true, false}) {
      SCOPED_TRACE(std::string(name_of(launcher)) + (with_tool ? ", tool present" : ", tool missing"));
      Install install(launcher, u"", with_tool);
      ASSERT_TRUE(install.ok() && plant_dlls(install.folder()));
      LaunchOutcome outcome = launch(install, LaunchOptions());
      if (with_tool) {
        expect_delivered(outcome, expected_vector(install, {}));
      } else {
        EXPECT_TRUE(outcome.box.found) << outcome.describe();
        EXPECT_EQ(outcome.exit_code, 2u);
      }
      EXPECT_EQ(escaped(planted_dlls_loaded(install.folder())), "{}");
    }
  }
}

// An install folder whose name holds the usertext markers: the command line
// is an argument of the message and is shown exactly as it is.
TEST(E2eFailureBox, MarkersInTheFolderNameAreShownAsTheyAre) {
  Install install(Launcher::kOrvane, u"%1 %2 %(application_name) %%", false);
  ASSERT_TRUE(install.ok());
  LaunchOutcome outcome = launch(install, {});
  ASSERT_TRUE(outcome.box.found) << outcome.describe();
  EXPECT_EQ(escaped(outcome.box.text),
            escaped(failure_text(2, quoted_command_line(expected_vector(install, {})), false)));
  EXPECT_EQ(outcome.exit_code, 2u);
}

TEST(E2eFailureBox, TestModeVariableDecoratesTitleAndText) {
  struct Case {
    Launcher launcher;
    const char16_t* value;  // null: not set
    bool decorated;
  };
  const Case cases[] = {
      {Launcher::kOrvane, u"1", true},     {Launcher::kKelmis, u"1", true},   {Launcher::kOrvane, u"yes", true},
      {Launcher::kOrvane, u"true", true},  {Launcher::kKelmis, u"7", true},   {Launcher::kOrvane, u"0", false},
      {Launcher::kKelmis, u"0", false},    {Launcher::kOrvane, u"no", false}, {Launcher::kOrvane, nullptr, false},
      {Launcher::kKelmis, nullptr, false}, {Launcher::kOrvane, u"", false},
  };
  const size_t count = sizeof cases / sizeof cases[0];
  Install orvane(Launcher::kOrvane, u"", false);
  Install kelmis(Launcher::kKelmis, u"", false);
  ASSERT_TRUE(orvane.ok() && kelmis.ok());
  std::vector<LaunchOutcome> outcomes = run_concurrently<LaunchOutcome>(count, [&](size_t i) {
    LaunchOptions options;
    options.args = {u"x y"};
    if (cases[i].value) options.set = {u"VARNO_USERTEXTTESTMODE=" + std::u16string(cases[i].value)};
    return launch(cases[i].launcher == Launcher::kOrvane ? orvane : kelmis, options);
  });
  for (size_t i = 0; i < count; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(std::string(name_of(c.launcher)) + " with " +
                 (c.value ? "VARNO_USERTEXTTESTMODE=" + utf8(c.value) : "the variable unset"));
    const Install& install = c.launcher == Launcher::kOrvane ? orvane : kelmis;
    const LaunchOutcome& outcome = outcomes[i];
    ASSERT_TRUE(outcome.box.found) << outcome.describe();
    EXPECT_EQ(escaped(outcome.box.title), escaped(failure_title(c.launcher, c.decorated)));
    std::u16string line = quoted_command_line(expected_vector(install, {u"x y"}));
    EXPECT_EQ(escaped(outcome.box.text), escaped(failure_text(2, line, c.decorated)));
    EXPECT_EQ(outcome.exit_code, 2u);
  }
}

}  // namespace
