// The launcher's entry: starts tavrin.exe from the launcher's own directory
// with the build setting's fixed arguments in front of the launcher's own,
// waits for it, and exits with 1; when the tool cannot be started, shows one
// warning box and exits with the system's error code.
#include <windows.h>

#include "cmdline/path.h"
#include "cmdline/quote.h"
#include "cmdline/split.h"
#include "framework/framework.h"
#include "launcher/entry.h"
#include "launcher/setting.h"
#include "launcher/tool_arguments.h"
#include "process/launch.h"
#include "process/process_handle.h"
#include "text/wchar_cast.h"
#include "text/wide.h"
#include "usertext/catalog.h"
#include "usertext/expand.h"
#include "usertext/text_pool.h"

#include <cstdlib>

namespace {

void* const kNoHandleRequested = INVALID_HANDLE_VALUE;

// The warning box of a failed start: title application_name, text
// error_running_command with the error code and the command line.
void report_failed_start(TextPool* pool, uint32_t error, const char16_t* command_line) {
  const char16_t* title = usertext_get(pool, kApplicationName);
  const char16_t* code = text_pool_printf(pool, u"%i", int32_t(error));
  const char16_t* text = usertext_format2(pool, kErrorRunningCommand, code, command_line);
  MessageBoxW(nullptr, to_wchar(text), to_wchar(title), MB_OK | MB_ICONWARNING);
}

}  // namespace

uint32_t run_launcher() {
  int32_t own_count = 0;
  char16_t** own = split_command_line(nullptr, from_wchar(GetCommandLineW()), &own_count);
  if (!own) return kArgumentsFailed;

  StartProcessFramework();

  TextPool pool = nullptr;
  ProcessHandle* child = nullptr;
  char16_t* display = nullptr;
  uint32_t exit_code;

  bool dir_known = false;
  const char16_t* dir = program_directory(&dir_known);
  ToolArguments arguments;
  uint32_t built = build_tool_arguments(&kLauncherSetting, dir, dir_known, own, own_count, &arguments);
  if (built == kArgumentsFailed) {
    exit_code = kArgumentsFailed;
  } else {
    const char16_t* const* argv = arguments.argv;
    uint32_t error = built;
    if (error == 0) {
      error = start_process(&child, kStartNoWindow, argv, nullptr, nullptr, kNoHandleRequested, kNoHandleRequested,
                            kNoHandleRequested);
    }
    if (error != 0) {
      framework_set_exit_error(error);
      // Nobody could dismiss a box on a service's desktop: a service only
      // exits with the code.
      if (!framework_service_mode()) {
        display = join_command_line(argv);
        report_failed_start(&pool, error, display);
      }
      exit_code = error;
    } else {
      exit_code = child->ops->Wait(child, -1) ? 1 : 0;
      child->ops->Release(child);
    }
  }

  free_tool_arguments(&arguments);
  wide_free(display);
  free(own);
  StopProcessFramework();
  text_pool_free(&pool);
  return exit_code;
}
