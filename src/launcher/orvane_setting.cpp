#include "launcher/setting.h"

namespace {
constexpr const char16_t* kFixed[] = {u"convert", u"-g"};
}

const LauncherSetting kLauncherSetting = launcher_setting(kFixed, LAUNCHER_DISPLAY_NAME);
