// Starting a child process from an argument vector with chosen standard
// handles, optionally under another user account.
#pragma once

#include <cstdint>

struct ProcessHandle;

enum : uint32_t {
  kStartNoWindow = 1,  // start the child without a console window
};

enum : uint32_t {
  // The error of a start that the system refused without naming a reason
  // (ERROR_CALL_NOT_IMPLEMENTED: Wine's logon start is such a stub).
  kStartFailedWithoutReason = 120,
};

// Error code results: 0 on success, else a Windows system error code; 14
// (ERROR_OUTOFMEMORY) for every allocation failure and for a NUL device that
// cannot be opened. On success *out receives a handle the caller owns; on
// failure it receives null and the caller holds no new handle. A null `out`
// gives 87 (ERROR_INVALID_PARAMETER) and starts nothing.
//
// `environment` is null (inherit) or a null-terminated "name=value" array;
// `directory` null inherits. Each std handle is a HANDLE, or null / all ones
// for "none requested": the caller's own handle is then duplicated, or the
// NUL device opened. A null `user` starts the child as the caller;
// otherwise `user` is "domain\user", "domain/user", "user@domain" or a bare
// name (domain: this computer's name).
[[nodiscard]] uint32_t start_process(ProcessHandle** out, uint32_t flags, const char16_t* const* argv,
                                     const char16_t* const* environment, const char16_t* directory, void* std_input,
                                     void* std_output, void* std_error);
[[nodiscard]] uint32_t start_process_as(ProcessHandle** out, const char16_t* user, const char16_t* password,
                                        uint32_t flags, const char16_t* const* argv, const char16_t* const* environment,
                                        const char16_t* directory, void* std_input, void* std_output, void* std_error);

// An inheritable duplicate for the child: `requested` if given and
// duplicable, else `own`, else the NUL device. *out is all ones on failure;
// a null `out` gives 87.
[[nodiscard]] uint32_t child_standard_handle(void* requested, void* own, void** out);

// The first call sets the process error mode to 0x8001; later calls do
// nothing.
void set_error_mode_once();

// New copy of the computer's name (empty when unknown); null when memory is
// lacking. Caller frees with wide_free.
[[nodiscard]] char16_t* computer_name();
