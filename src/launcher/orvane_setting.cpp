#include "launcher/setting.h"

namespace {
const char16_t* const kFixed[] = {u"convert", u"-g"};
}

const LauncherSetting kLauncherSetting = {kFixed, 2, LAUNCHER_DISPLAY_NAME};
