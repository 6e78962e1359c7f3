// The system calls of usertext/system.h.
#include <windows.h>

#include "text/wchar_cast.h"
#include "usertext/system.h"

int system_locale_info(uint32_t type, char16_t* buffer, int capacity) {
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, to_wchar(buffer), capacity);
}

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
