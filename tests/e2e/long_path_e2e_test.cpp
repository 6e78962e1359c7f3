// A launcher whose own path is too long to read (300 characters or more)
// cannot know its directory. It must then start nothing at all: not a
// tavrin.exe at the root of the current drive (where a path resolved
// against an unknown directory would point) and not one in the current
// directory; it shows the box with error 206 and exits with 206.
//
// Run through with_spare_drive.sh, which maps a drive of the Wine prefix to
// a scratch folder (LAUNCHERS_E2E_DRIVE) so that a decoy can sit at a
// drive's root; on Windows the test bundle's runner defines one, or says
// that the machine has none, and the cases skip. The launchers are started
// through ntdll: CreateProcessW does not start programs at such paths.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/system.h"
#include "support/test_support.h"

namespace {

const uint32_t kFileNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

class E2eLongPath : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string unavailable;
    drive_ = given_resource(L"LAUNCHERS_E2E_DRIVE", &unavailable);
    if (!unavailable.empty()) GTEST_SKIP() << "no spare drive: " << unavailable;
    ASSERT_FALSE(drive_.empty())
        << "LAUNCHERS_E2E_DRIVE is not set: run this program through with_spare_drive.sh, or from the "
           "test bundle's run-tests.cmd";
    current_ = drive_ + u"\\work";
    ASSERT_TRUE(make_folders(current_));
    ASSERT_TRUE(place_tool(drive_ + u"\\tavrin.exe"));
    ASSERT_TRUE(place_tool(current_ + u"\\tavrin.exe"));
  }

  // The launcher installed so that its own path has `length` characters,
  // started with the decoy folder as its current directory.
  LaunchOutcome run(Launcher launcher, size_t length, std::u16string* tool) {
    Install install(launcher, PathLength{length});
    LaunchOutcome outcome;
    if (!install.ok() || install.launcher().size() != length) {
      outcome.failure = "cannot install at a path of " + std::to_string(length) + " characters";
      return outcome;
    }
    *tool = install.tool();
    LaunchOptions options;
    options.directory = current_;
    options.start_natively = true;
    return launch(install, options);
  }

  std::u16string drive_;
  std::u16string current_;
};

// 299 characters are still read whole: the tool is looked for beside the
// launcher. The system itself may refuse to start a program at such a
// length, so the outcome is a box that names the full tool path: Wine
// refuses it (error 3), and so does Windows for a program that is not
// long-path aware (the launchers' manifests do not say so), perhaps with
// 206 itself.
TEST_F(E2eLongPath, PathOf299CharactersIsStillReadWhole) {
  const bool wine = running_under_wine();
  std::u16string tool;
  LaunchOutcome outcome = run(Launcher::kOrvane, 299, &tool);
  EXPECT_EQ(outcome.failure, "") << outcome.describe();
  for (const ProbeReport& report : outcome.reports) {
    EXPECT_EQ(escaped(report.module), escaped(tool)) << "a decoy was started\n" << outcome.describe();
  }
  if (outcome.exit_code == 1 && wine) {
    EXPECT_EQ(outcome.reports.size(), 1u) << outcome.describe();
    return;
  }
  ASSERT_TRUE(outcome.box.found) << outcome.describe();
  int64_t code = code_in_failure_text(outcome.box.text);
  if (wine) EXPECT_NE(code, kFileNameTooLong) << outcome.describe();
  EXPECT_EQ(code, static_cast<long long>(outcome.exit_code)) << outcome.describe();
  std::u16string line = quoted_command_line({tool, u"convert", u"-g"});
  EXPECT_EQ(escaped(outcome.box.text), escaped(failure_text(outcome.exit_code, line, false)));
}

TEST_F(E2eLongPath, LongerPathStartsNothingAndShowsError206) {
  struct Case {
    Launcher launcher;
    size_t length;
  };
  const Case cases[] = {{Launcher::kOrvane, 300}, {Launcher::kOrvane, 340}, {Launcher::kKelmis, 340}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " characters");
    std::u16string tool;
    LaunchOutcome outcome = run(c.launcher, c.length, &tool);
    EXPECT_EQ(outcome.failure, "") << outcome.describe();
    EXPECT_TRUE(outcome.reports.empty()) << "a decoy was started\n" << outcome.describe();
    ASSERT_TRUE(outcome.box.found) << outcome.describe();
    EXPECT_EQ(escaped(outcome.box.title), escaped(failure_title(c.launcher, false)));
    // Only the tool's file name can be shown: its folder is not known.
    std::vector<std::u16string> shown_vector = {u"tavrin.exe"};
    const LauncherFacts& facts = launcher_facts(c.launcher);
    shown_vector.insert(shown_vector.end(), facts.fixed_arguments.begin(), facts.fixed_arguments.end());
    EXPECT_EQ(escaped(outcome.box.text),
              escaped(failure_text(kFileNameTooLong, quoted_command_line(shown_vector), false)));
    EXPECT_EQ(outcome.exit_code, kFileNameTooLong);
  }
}

}  // namespace
