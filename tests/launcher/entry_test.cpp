// The launcher's main routine in this test process, with a build setting
// whose tool cannot be started: a fixed entry that names a path relative to
// the launcher's folder too long to resolve.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "framework/signal_hub.h"
#include "launcher/entry.h"
#include "launcher/setting.h"
#include "launcher/tool_arguments.h"
#include "support/message_box.h"

namespace {

const std::u16string kUnresolvable = u".\\" + std::u16string(400, u'x');
const char16_t* const kFixed[] = {u"convert", kUnresolvable.c_str()};

}  // namespace

const LauncherSetting kLauncherSetting = {kFixed, 2, "Ardelon", resolve_path};

namespace {

// The failure is reported like a failed start: the box, and the code a
// service would report in its SERVICE_STOPPED status instead of success.
TEST(LauncherEntry, AnEntryThatCannotBeResolvedFailsLikeAStart) {
  MessageBoxSeen box;
  std::thread reader([&box] { box = read_message_box(GetCurrentProcessId(), 30000, true); });
  EXPECT_EQ(run_launcher(), uint32_t(kToolPathUnknown));
  reader.join();
  EXPECT_TRUE(box.found);
  EXPECT_EQ(g_signal_hub.exit_error, DWORD(kToolPathUnknown));
}

}  // namespace
