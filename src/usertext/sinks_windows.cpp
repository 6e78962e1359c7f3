#include <windows.h>

#include "usertext/sinks.h"

bool system_write_bytes(void* handle, const char* bytes, uint32_t count, uint32_t* written, uint32_t* error) {
  DWORD done = 0;
  if (WriteFile(static_cast<HANDLE>(handle), bytes, count, &done, nullptr)) {
    *written = done;
    return true;
  }
  *written = done;
  *error = GetLastError();
  return false;
}

void* system_standard_handle(bool error_stream) {
  return GetStdHandle(error_stream ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}
