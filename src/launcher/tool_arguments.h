// The tool's argument vector: the tool path beside the launcher, the fixed
// arguments of the build setting, then the launcher's own arguments 1..n-1.
#pragma once

#include <cstddef>
#include <cstdint>

struct LauncherSetting;

// The tool's file name, which the launcher looks for in its own directory.
extern const char16_t kToolFileName[];

enum : uint32_t {
  // The tool path, or a fixed entry that names a path, could not be
  // determined (the launcher's own directory is unknown, or the path does
  // not fit): nothing may be started.
  kToolPathUnknown = 206,  // ERROR_FILENAME_EXCED_RANGE
  // The vector could not be built (memory).
  kArgumentsFailed = 0xFFFFFFFFU,
};

struct ToolArguments {
  char16_t** argv;  // null-terminated; null when the array itself failed
  size_t written;   // entries written (some may be null after a failure)
};

// Builds the vector into *out. `program_dir` is the launcher's directory and
// `dir_known` whether it could be determined. `own` holds the launcher's own
// arguments with its program path as element 0 (`own_count` elements).
// Returns 0; kToolPathUnknown, with a vector that can be shown but is never
// started (element 0 the bare tool file name when the tool path is unknown,
// a fixed entry that cannot be resolved as written); or kArgumentsFailed.
[[nodiscard]] uint32_t build_tool_arguments(const LauncherSetting* setting, const char16_t* program_dir, bool dir_known,
                                            const char16_t* const* own, int32_t own_count, ToolArguments* out);

// Releases the entries from the last written down to the first, then the
// array. Safe on a zeroed or failed vector.
void free_tool_arguments(ToolArguments* arguments);
