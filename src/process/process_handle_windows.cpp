#include "process/process_handle.h"

#include <windows.h>

#include <cstddef>
#include <cstdlib>

#include "runtime/handles.h"
#include "runtime/refcounted.h"

// The shared AddRef in slot 0 relies on the common RefCounted layout.
static_assert(offsetof(ProcessHandle, ops) == offsetof(RefCounted, ops), "operation table first");
static_assert(offsetof(ProcessHandle, count) == offsetof(RefCounted, count), "count second");

namespace {

bool has_process(const ProcessHandle* self) { return is_handle(self->process); }

void process_handle_release(ProcessHandle* self) {
  if (--self->count > 0) return;
  // Closing our handle does not end the child: it runs on by itself.
  if (has_process(self)) CloseHandle(self->process);
  free(self);
}

uint32_t process_handle_process_id(ProcessHandle* self) { return self->process_id; }

void process_handle_terminate(ProcessHandle* self) {
  // The handle stays open so that a later Wait collects the exit code 255.
  if (has_process(self)) TerminateProcess(self->process, 255);
}

bool process_handle_wait(ProcessHandle* self, int32_t timeout_ms) {
  if (!has_process(self)) return true;
  DWORD limit = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (WaitForSingleObject(self->process, limit) != WAIT_OBJECT_0) return false;
  DWORD code = 0xFFFFFFFF;  // kept when the exit code cannot be read
  GetExitCodeProcess(self->process, &code);
  self->exit_code = code;
  CloseHandle(self->process);
  self->process = INVALID_HANDLE_VALUE;
  return true;
}

uint32_t process_handle_exit_code(ProcessHandle* self) {
  if (has_process(self)) self->ops->Wait(self, -1);
  return self->exit_code;
}

const ProcessHandleOps kProcessHandleOps = {
    refcounted_add_ref,       process_handle_release, process_handle_process_id,
    process_handle_terminate, process_handle_wait,    process_handle_exit_code,
};

}  // namespace

ProcessHandle* create_process_handle() {
  ProcessHandle* self = static_cast<ProcessHandle*>(malloc(sizeof(ProcessHandle)));
  if (!self) return nullptr;
  self->ops = &kProcessHandleOps;
  self->count = 1;
  self->process_id = 0;
  self->process = INVALID_HANDLE_VALUE;
  self->exit_code = 0xFFFFFFFF;
  return self;
}
