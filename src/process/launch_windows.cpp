#include "process/launch.h"

#include <windows.h>

#include <cstdlib>

#include "cmdline/quote.h"
#include "process/launch_child.h"
#include "process/launch_rules.h"
#include "process/process_handle.h"
#include "runtime/handles.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

namespace {

const DWORD kStdKinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

bool error_mode_set = false;
const size_t kLongestCommandLine = 32767;

bool duplicate_inheritable(HANDLE source, HANDLE* out) {
  HANDLE self = current_process_handle();
  if (DuplicateHandle(self, source, self, out, 0, TRUE, DUPLICATE_SAME_ACCESS)) return true;
  *out = INVALID_HANDLE_VALUE;
  return false;
}

}  // namespace

void set_error_mode_once() {
  if (error_mode_set) return;
  error_mode_set = true;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

uint32_t child_standard_handle(void* requested, void* own, void** out) {
  if (!out) return ERROR_INVALID_PARAMETER;
  HANDLE* result = reinterpret_cast<HANDLE*>(out);
  *result = INVALID_HANDLE_VALUE;
  if (is_handle(requested)) {
    if (duplicate_inheritable(requested, result)) return 0;
    // A handle of the caller's own that cannot be passed on is no reason to
    // fail: the next choice serves instead.
    if (requested != own) {
      DWORD error = GetLastError();
      if (error != 0) return error;
    }
  }
  if (is_handle(own) && duplicate_inheritable(own, result)) return 0;

  HANDLE nul = CreateFileW(L"\\\\.\\NUL", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (!is_handle(nul)) return ERROR_OUTOFMEMORY;
  bool made = duplicate_inheritable(nul, result);
  CloseHandle(nul);
  return made ? 0 : ERROR_OUTOFMEMORY;
}

namespace {

// The child inherits exactly the three handles chosen for it, never the
// caller's own ones.
void keep_own_standard_handles_from_children() {
  for (DWORD kind : kStdKinds) {
    HANDLE own = GetStdHandle(kind);
    if (is_handle(own)) SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  }
}

// Inheritable copies of the three handles the child gets, into `child`
// (whose slots stay "no handle" where nothing was made).
uint32_t choose_standard_handles(void* const requested[3], HANDLE child[3]) {
  for (int k = 0; k < 3; ++k) {
    uint32_t error = child_standard_handle(requested[k], GetStdHandle(kStdKinds[k]), &child[k]);
    if (error != 0) return error;
  }
  return 0;
}

// Starts the child with the chosen handles, under another user account when
// `logon` is given; on success *started holds its process and thread.
uint32_t create_child(const LogonStart* logon, char16_t* command_line, uint32_t flags, char16_t* block,
                      const char16_t* directory, const HANDLE child[3], PROCESS_INFORMATION* started) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child[0];
  startup.hStdOutput = child[1];
  startup.hStdError = child[2];
  DWORD creation = (flags & kStartNoWindow) ? CREATE_NO_WINDOW : 0;
  if (block) creation |= CREATE_UNICODE_ENVIRONMENT;
  if (logon) return logon->start(logon, command_line, creation, block, directory, &startup, started);
  SetLastError(0);
  if (CreateProcessW(nullptr, to_wchar(command_line), nullptr, nullptr, TRUE, creation, block, to_wchar(directory),
                     &startup, started)) {
    return 0;
  }
  return failed_start_error();
}

}  // namespace

uint32_t failed_start_error() {
  // A failed start must always name a reason; some implementations of the
  // logon start fail without setting one.
  DWORD error = GetLastError();
  return error != 0 ? error : uint32_t(kStartFailedWithoutReason);
}

uint32_t start_child(ProcessHandle** out, const LogonStart* logon, uint32_t flags, const char16_t* const* argv,
                     const char16_t* const* environment, const char16_t* directory, void* std_input, void* std_output,
                     void* std_error) {
  if (!out) return ERROR_INVALID_PARAMETER;  // a started child could not be handed to anyone
  *out = nullptr;

  // The child inherits the mode, so neither shows the system's
  // critical-error or open-file boxes.
  set_error_mode_once();

  ProcessHandle* handle = create_process_handle();
  uint32_t error = handle ? 0 : ERROR_OUTOFMEMORY;
  keep_own_standard_handles_from_children();
  // All three start as "no handle", so the clean-up below closes only what
  // was really made, whatever step failed. Assigned rather than initialised:
  // the 32-bit compiler puts an initialised array's values in a writable
  // data section of their own, 512 bytes of kelmis.
  HANDLE child[3];
  child[0] = child[1] = child[2] = INVALID_HANDLE_VALUE;
  void* const requested[3] = {std_input, std_output, std_error};
  if (error == 0) error = choose_standard_handles(requested, child);

  char16_t* command_line = join_command_line(argv);
  if (error == 0 && !command_line) error = ERROR_OUTOFMEMORY;
  // Windows refuses a line of more than 32,767 units (terminator included)
  // with this code; not every implementation of the call does, and a child
  // must never run with a line Windows would not pass on.
  if (error == 0 && wide_length(command_line) >= kLongestCommandLine) error = ERROR_FILENAME_EXCED_RANGE;

  char16_t* block = nullptr;
  if (error == 0 && environment) {
    block = build_environment_block(environment);
    if (!block) error = ERROR_OUTOFMEMORY;
  }

  PROCESS_INFORMATION started = {};
  if (error == 0) error = create_child(logon, command_line, flags, block, directory, child, &started);
  if (error == 0) {
    CloseHandle(started.hThread);
    handle->process_id = started.dwProcessId;
    handle->process = started.hProcess;
  }

  wide_free(command_line);
  free(block);
  // The child holds its own inherited copies.
  for (HANDLE duplicate : child) {
    if (is_handle(duplicate)) CloseHandle(duplicate);
  }

  if (error != 0 && handle) {
    handle->ops->Release(handle);
    handle = nullptr;
  }
  *out = handle;
  return error;
}

uint32_t start_process(ProcessHandle** out, uint32_t flags, const char16_t* const* argv,
                       const char16_t* const* environment, const char16_t* directory, void* std_input, void* std_output,
                       void* std_error) {
  return start_child(out, nullptr, flags, argv, environment, directory, std_input, std_output, std_error);
}
