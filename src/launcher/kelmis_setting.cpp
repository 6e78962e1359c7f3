#include "launcher/setting.h"

namespace {
// The empty entry is a real, empty argument.
constexpr const char16_t* kFixed[] = {u"create", u"-g", u""};
}  // namespace

const LauncherSetting kLauncherSetting = launcher_setting(kFixed, LAUNCHER_DISPLAY_NAME);
