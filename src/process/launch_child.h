// The start shared by start_process and start_process_as. The part that
// runs the child under another user account comes in through LogonStart, so
// that a program which only calls start_process carries neither the user
// split nor the logon start (nor imports them).
#pragma once

#include <windows.h>

#include <cstdint>

struct ProcessHandle;

// Present when the child runs under another user account.
struct LogonStart {
  const char16_t* user;
  const char16_t* password;
  // Splits the user and starts the child with the logon start: 0 when it
  // started, 14 when the user could not be split, else the start's error.
  uint32_t (*start)(const LogonStart* logon, char16_t* command_line, DWORD creation, void* block,
                    const char16_t* directory, STARTUPINFOW* startup, PROCESS_INFORMATION* started);
};

// The error of a start call that has just failed, read before any other call
// can replace it; the caller cleared the last error right before the start,
// so a call that names no reason gives kStartFailedWithoutReason, never a
// stale code.
[[nodiscard]] uint32_t failed_start_error();

// start_process_as with the logon part given or null.
[[nodiscard]] uint32_t start_child(ProcessHandle** out, const LogonStart* logon, uint32_t flags,
                                   const char16_t* const* argv, const char16_t* const* environment,
                                   const char16_t* directory, void* std_input, void* std_output, void* std_error);
