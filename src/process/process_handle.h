// ProcessHandle: the reference-counted grip on a started child process.
// Releasing the last reference closes the handle and leaves the child
// running. Used by one thread at a time.
#pragma once

#include <cstdint>

struct ProcessHandle;

struct ProcessHandleOps {
  void (*AddRef)(void* self);  // shared refcounted_add_ref
  void (*Release)(ProcessHandle* self);
  uint32_t (*ProcessId)(ProcessHandle* self);  // 0 before a start
  void (*Terminate)(ProcessHandle* self);      // ends the child with 255
  // Waits up to `timeout_ms` (negative: no limit). True when the child has
  // ended (its exit code is then collected and the handle closed) or there is
  // no child; false on a time-out or a failed wait.
  bool (*Wait)(ProcessHandle* self, int32_t timeout_ms);
  // Waits without limit if needed, then the collected exit code.
  uint32_t (*ExitCode)(ProcessHandle* self);
};

struct ProcessHandle {
  const ProcessHandleOps* ops;
  int32_t count;
  uint32_t process_id;
  void* process;       // Windows HANDLE; null or all ones: none
  uint32_t exit_code;  // 0xFFFFFFFF until collected
};

// A new handle with count 1, no process and exit code 0xFFFFFFFF; null when
// memory is lacking.
[[nodiscard]] ProcessHandle* create_process_handle();
