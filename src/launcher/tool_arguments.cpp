#include "launcher/tool_arguments.h"

#include <cstdlib>

#include "cmdline/path.h"
#include "launcher/setting.h"
#include "text/checked_size.h"
#include "text/wide.h"

const char16_t kToolFileName[] = u"tavrin.exe";

namespace {

constexpr size_t kPathCapacity = 1000;

// The tool's full path into `path`: the launcher's directory as the system
// reported it, taken literally, then the tool's file name. False when the
// directory is unknown, is not one that Windows takes as written (it could
// lead out of the directory), or the path would not be shorter than the
// work area that bounds the launcher's own file name: the launcher must
// not start anything then.
bool tool_path(const char16_t* program_dir, bool dir_known, char16_t* path) {
  if (!dir_known || !folder_is_literal(program_dir)) return false;
  size_t length = wide_length(program_dir);
  bool separator = program_dir[length - 1] == u'\\' || program_dir[length - 1] == u'/';
  if (length + !separator + wide_length(kToolFileName) >= kPathWorkUnits) return false;
  wide_copy(path, program_dir);
  if (!separator) wide_append(path, u"\\");
  wide_append(path, kToolFileName);
  return true;
}

}  // namespace

uint32_t build_tool_arguments(const LauncherSetting* setting, const char16_t* program_dir, bool dir_known,
                              const char16_t* const* own, int32_t own_count, ToolArguments* out) {
  out->argv = nullptr;
  out->written = 0;

  // Tool path, fixed entries, own arguments 1..n-1, terminator. A split that
  // yields no element contributes no own arguments.
  size_t own_arguments = own_count > 1 ? size_t(own_count) - 1 : 0;
  size_t fixed = setting->fixed_count > 0 ? size_t(setting->fixed_count) : 0;
  size_t capacity, bytes;
  if (!checked_add(fixed + 2, own_arguments, &capacity) || !checked_multiply(capacity, sizeof(char16_t*), &bytes)) {
    return kArgumentsFailed;
  }
  char16_t** argv = static_cast<char16_t**>(malloc(bytes));
  if (!argv) return kArgumentsFailed;
  out->argv = argv;

  char16_t path[kPathCapacity];
  uint32_t result = 0;
  bool path_known = tool_path(program_dir, dir_known, path);
  if (!path_known) result = kToolPathUnknown;
  argv[out->written++] = wide_dup(path_known ? path : kToolFileName);

  for (size_t i = 0; i < fixed; ++i) {
    const char16_t* entry = setting->fixed_arguments[i];
    // An entry beginning with '.' names a path relative to the launcher's
    // directory. One that cannot be resolved fails the launch like a tool
    // path that cannot be determined: it is kept as written, for the
    // message, and nothing is started (the buffer may hold the tool's path
    // or a partial result, which must never reach the tool). With the
    // directory unknown nothing is started either.
    bool relative = entry[0] == u'.' && path_known && setting->resolve_relative;
    bool resolved = relative && setting->resolve_relative(program_dir, entry, path, kPathCapacity);
    if (relative && !resolved) result = kToolPathUnknown;
    argv[out->written++] = wide_dup(resolved ? path : entry);
  }
  for (size_t i = 1; i <= own_arguments; ++i) argv[out->written++] = wide_dup(own[i]);
  argv[out->written] = nullptr;

  for (size_t i = 0; i < out->written; ++i) {
    if (!argv[i]) return kArgumentsFailed;
  }
  return result;
}

void free_tool_arguments(ToolArguments* arguments) {
  if (arguments->argv) {
    for (size_t i = arguments->written; i > 0; --i) wide_free(arguments->argv[i - 1]);
    free(arguments->argv);
  }
  arguments->argv = nullptr;
  arguments->written = 0;
}
