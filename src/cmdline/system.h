// What the command-line and path code needs from the system, declared once
// and implemented twice: system_*windows.cpp call Win32, system_native.cpp
// gives deterministic stand-ins (settable by tests, system_native.h) so the
// core runs under sanitizers and fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>

// GetCurrentDirectoryW: the length the directory needs (without terminator
// when it fits; with it when it does not), 0 on failure.
uint32_t system_current_directory(char16_t* dest, uint32_t capacity);
// GetFullPathNameW of "X:." for a drive.
uint32_t system_drive_full_path(char16_t drive, char16_t* dest, uint32_t capacity);
// GetModuleFileNameW(no module, ...): units written, capacity when cut, 0 on
// failure.
uint32_t system_module_file_name(char16_t* dest, uint32_t capacity);
// GetEnvironmentStringsW / FreeEnvironmentStringsW.
[[nodiscard]] char16_t* system_environment_strings();
void system_free_environment_strings(char16_t* block);
// CommandLineToArgvW of `line`, repackaged as split_command_line's block
// (one free()); null on failure. The stand-in follows the same rules
// (split_command_line_portable).
[[nodiscard]] char16_t** system_split_command_line(const char16_t* line, int32_t* count);
