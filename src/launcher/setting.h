// The build setting of a launcher: the fixed arguments placed between the
// tool path and the launcher's own arguments, and the display name. One
// setting source is linked into each launcher.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cmdline/path.h"

// Resolves a path against a base directory (resolve_path's shape).
using ResolvePath = bool (*)(const char16_t* base, const char16_t* path, char16_t* dest, size_t capacity);

struct LauncherSetting {
  const char16_t* const* fixed_arguments;  // in table order
  int32_t fixed_count;
  const char* display_name;  // UTF-8; the default text of application_name
  // Resolves a fixed entry that begins with '.' against the launcher's
  // directory. Null in a setting without such an entry, so that a launcher
  // that never resolves a path carries no path resolution.
  ResolvePath resolve_relative;
};

constexpr bool any_entry_is_relative(const char16_t* const* entries, size_t count) {
  return count > 0 && (entries[0][0] == u'.' || any_entry_is_relative(entries + 1, count - 1));
}

// A setting made from a fixed-argument table: its count taken from the
// table, path resolution only when an entry needs it.
template <size_t N>
constexpr LauncherSetting launcher_setting(const char16_t* const (&fixed)[N], const char* display_name) {
  return {fixed, int32_t(N), display_name, any_entry_is_relative(fixed, N) ? resolve_path : nullptr};
}

extern const LauncherSetting kLauncherSetting;
