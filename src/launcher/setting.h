// The build setting of a launcher: the fixed arguments placed between the
// tool path and the launcher's own arguments, and the display name. One
// setting source is linked into each launcher.
#pragma once

#include <cstdint>

struct LauncherSetting {
  const char16_t* const* fixed_arguments;  // in table order
  int32_t fixed_count;
  const char* display_name;  // UTF-8; the default text of application_name
};

extern const LauncherSetting kLauncherSetting;
