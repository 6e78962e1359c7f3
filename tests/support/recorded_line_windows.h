// For the recorders linked into test builds of the launchers: one line
// appended to the file that an environment variable names. Header-only and
// free of the test framework, so that a launcher build carries only this.
#pragma once

#include <windows.h>

// Appends `text` and a line feed to the file that `variable` names; nothing
// when the variable is unset or the file cannot be opened.
inline void append_recorded_line(const wchar_t* variable, const char* text) {
  wchar_t path[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(variable, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, text, DWORD(lstrlenA(text)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
}
