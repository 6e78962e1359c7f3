// The 32-bit deliverable, run for real: kelmis.exe of the 32-bit tree
// beside the test tool, with arguments that need quoting and non-ASCII text,
// and without the tool: two launcher runs (and one tool run) in total,
// both with DLLs planted beside the launcher (see PlantedDllsAreNever-
// Loaded in launch_e2e_test.cpp: under Wine that part proves little).
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/test_support.h"

namespace {

// The machine field of a PE file's header, 0 when unreadable.
uint16_t pe_machine(const std::u16string& path) {
  std::string bytes;
  if (!read_file(path, &bytes) || bytes.size() < 0x40) return 0;
  uint32_t header = uint8_t(bytes[0x3C]) | uint8_t(bytes[0x3D]) << 8 | uint8_t(bytes[0x3E]) << 16 |
                    uint32_t(uint8_t(bytes[0x3F])) << 24;
  if (header + 6 > bytes.size() || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return uint16_t(uint8_t(bytes[header + 4]) | uint8_t(bytes[header + 5]) << 8);
}

TEST(E2eKelmis32, ArgumentsReachTheToolAndTheExitCodeIsOne) {
  Install install(Launcher::kKelmis);
  ASSERT_TRUE(install.ok());
  ASSERT_EQ(pe_machine(install.launcher()), 0x14C) << "not the 32-bit launcher";
  ASSERT_TRUE(plant_dlls(install.folder()));
  const std::vector<std::u16string> args = {
      u"a b", u"q\"uote\\", u"tail\\", u"t\tab", u"", u"\u00e9\U0001F600", u"\xD800",
  };
  LaunchOptions options;
  options.args = args;
  options.set = {u"PROBE_EXIT=3"};
  LaunchOutcome outcome = launch(install, options);
  const ProbeReport* report = expect_delivered(outcome, expected_vector(install, args));
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(escaped(report->module), escaped(install.tool()));
  EXPECT_FALSE(report->console_window);
  EXPECT_EQ(escaped(planted_dlls_loaded(install.folder())), "{}");
}

TEST(E2eKelmis32, WithoutTheToolTheBoxShowsTwo) {
  Install install(Launcher::kKelmis, u"", false);
  ASSERT_TRUE(install.ok() && plant_dlls(install.folder()));
  LaunchOptions options;
  LaunchOutcome outcome = launch(install, options);
  EXPECT_TRUE(outcome.box.found) << outcome.describe();
  EXPECT_EQ(escaped(outcome.box.text),
            escaped(failure_text(2, quoted_command_line(expected_vector(install, {})), false)));
  EXPECT_EQ(outcome.exit_code, 2u);
  EXPECT_EQ(escaped(planted_dlls_loaded(install.folder())), "{}");
}

}  // namespace
