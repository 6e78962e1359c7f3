// What the usertext code needs from the system: the user's locale values,
// the standard output handles and writing bytes to a handle. Declared once
// and implemented twice: system_windows.cpp calls GetLocaleInfoW,
// GetStdHandle and WriteFile; system_native.cpp is a stand-in that tests can
// program (system_native.h), so that the usertext code runs under sanitizers
// and fuzzers.
#pragma once

#include <cstdint>

// GetLocaleInfoW with LOCALE_USER_DEFAULT and a buffer of `capacity` units:
// units written including the terminator, 0 on failure.
int system_locale_info(uint32_t type, char16_t* buffer, int capacity);

// One write as the system makes it (WriteFile): true on success with
// *written set; on failure false and *error set. Natively a handle is a file
// descriptor cast to a pointer and errors are reported as the matching
// Windows codes.
[[nodiscard]] bool system_write_bytes(void* handle, const char* bytes, uint32_t count, uint32_t* written,
                                      uint32_t* error);

// GetStdHandle(STD_OUTPUT_HANDLE) or, with `error_stream`, STD_ERROR_HANDLE;
// natively descriptors 1 and 2.
void* system_standard_handle(bool error_stream);
