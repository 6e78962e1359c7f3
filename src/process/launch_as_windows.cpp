// Starting a child under another user account: the user split and the
// logon start.
#include <windows.h>

#include "process/launch.h"
#include "process/launch_child.h"
#include "process/launch_rules.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

char16_t* computer_name() {
  wchar_t name[16] = {};
  DWORD size = 16;
  GetComputerNameW(name, &size);
  name[15] = 0;  // whatever a failed call left, the copy ends inside the array
  return wide_dup(from_wchar(name));
}

namespace {

uint32_t start_with_logon(const LogonStart* logon, char16_t* command_line, DWORD creation, void* block,
                          const char16_t* directory, STARTUPINFOW* startup, PROCESS_INFORMATION* started) {
  char16_t* user_part = nullptr;
  char16_t* domain_part = nullptr;
  // Only a bare user name takes the computer's name as its domain.
  bool bare = !user_names_domain(logon->user);
  char16_t* default_domain = bare ? computer_name() : nullptr;
  uint32_t error = 0;
  if ((bare && !default_domain) || !split_user(logon->user, default_domain, &user_part, &domain_part)) {
    error = ERROR_OUTOFMEMORY;
  } else {
    // Cleared and read right around the start: the calls before it may have
    // left a code of their own.
    SetLastError(0);
    if (!CreateProcessWithLogonW(to_wchar(user_part), to_wchar(domain_part), to_wchar(logon->password),
                                 LOGON_WITH_PROFILE, nullptr, to_wchar(command_line), creation, block,
                                 to_wchar(directory), startup, started)) {
      error = failed_start_error();
    }
  }
  wide_free(user_part);
  wide_free(domain_part);
  wide_free(default_domain);
  return error;
}

}  // namespace

uint32_t start_process_as(ProcessHandle** out, const char16_t* user, const char16_t* password, uint32_t flags,
                          const char16_t* const* argv, const char16_t* const* environment, const char16_t* directory,
                          void* std_input, void* std_output, void* std_error) {
  if (!user) {
    return start_child(out, nullptr, flags, argv, environment, directory, std_input, std_output, std_error);
  }
  const LogonStart logon = {user, password, start_with_logon};
  return start_child(out, &logon, flags, argv, environment, directory, std_input, std_output, std_error);
}
