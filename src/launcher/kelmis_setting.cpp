#include "launcher/setting.h"

namespace {
// The empty entry is a real, empty argument.
const char16_t* const kFixed[] = {u"create", u"-g", u""};
}

const LauncherSetting kLauncherSetting = {kFixed, 3, LAUNCHER_DISPLAY_NAME};
