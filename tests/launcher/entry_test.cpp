// The launcher's main routine in this test process, with a build setting
// whose argument vector cannot be built: a fixed entry that names a path
// relative to the launcher's folder too long to resolve.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/signal_hub.h"
#include "launcher/entry.h"
#include "launcher/setting.h"
#include "launcher/tool_arguments.h"

namespace {

const std::u16string kUnresolvable = u".\\" + std::u16string(400, u'x');
const char16_t* const kFixed[] = {u"convert", kUnresolvable.c_str()};

}  // namespace

const LauncherSetting kLauncherSetting = {kFixed, 2, "Ardelon", resolve_path};

namespace {

// A launcher run as a service reports the code it exits with in its
// SERVICE_STOPPED status: a vector that could not be built is a failure
// too, not success.
TEST(LauncherEntry, AVectorThatCannotBeBuiltIsTheCodeTheFrameworkReports) {
  EXPECT_EQ(run_launcher(), uint32_t(kArgumentsFailed));
  EXPECT_EQ(g_signal_hub.exit_error, DWORD(kArgumentsFailed));
}

}  // namespace
