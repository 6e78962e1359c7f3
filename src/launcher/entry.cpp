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
#include "launcher/failure_message.h"
#include "launcher/setting.h"
#include "launcher/tool_arguments.h"
#include "process/launch.h"
#include "process/process_handle.h"
#include "text/wchar_cast.h"
#include "text/wide.h"
#include "usertext/text_pool.h"

#include <cstdlib>

namespace {

void* const kNoHandleRequested = INVALID_HANDLE_VALUE;

void report_failed_start(TextPool* pool, uint32_t error, const char16_t* command_line) {
  FailureMessage message = failure_message(pool, error, command_line);
  MessageBoxW(nullptr, to_wchar(message.text), to_wchar(message.title), MB_OK | MB_ICONWARNING);
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
  uint32_t error = build_tool_arguments(&kLauncherSetting, dir, dir_known, own, own_count, &arguments);
  if (error == 0) {
    error = start_process(&child, kStartNoWindow, arguments.argv, nullptr, nullptr, kNoHandleRequested,
                          kNoHandleRequested, kNoHandleRequested);
  }
  if (error == 0) {
    exit_code = child->ops->Wait(child, -1) ? 1 : 0;
    child->ops->Release(child);
  } else {
    // A service tells the service control manager the code it exits with,
    // not success.
    framework_set_exit_error(error);
    // A vector that could not be built shows nothing; nobody could dismiss
    // a box on a service's desktop.
    if (error != kArgumentsFailed && !process_runs_as_service(kServiceProbeWaitMs)) {
      display = join_command_line(arguments.argv);
      report_failed_start(&pool, error, display);
    }
    exit_code = error;
  }

  free_tool_arguments(&arguments);
  wide_free(display);
  free(own);
  StopProcessFramework();
  text_pool_free(&pool);
  return exit_code;
}
