// What the text code needs from the system: code-page conversion, one UTF-16
// unit at a time. Declared once and implemented twice: system_windows.cpp
// calls GetACP, WideCharToMultiByte and MultiByteToWideChar;
// system_native.cpp is a small stand-in code page (system_native.h) so that
// the sizing rules can be tested without Windows.
#pragma once

#include <cstddef>
#include <cstdint>

// The ANSI code page id (CP_ACP resolved).
uint32_t system_ansi_code_page();
// True when `code_page` is UTF-8 (65001), which takes no best-fit or
// default-character arguments.
inline bool codepage_is_utf8(uint32_t code_page) { return code_page == 65001; }
// Encodes one unit; returns the bytes written into `out` (at most 6), 0 on
// failure. `used_default` (may be null) reports a default-character
// substitution. `flags` is passed to the system as is.
int system_encode_unit(uint32_t code_page, uint32_t flags, char16_t unit, char out[6], bool* used_default);
// Decodes exactly `count` bytes into at most one unit; returns the units
// produced (0 on failure or when the bytes make more than one unit).
int system_decode(uint32_t code_page, const char* bytes, int count, char16_t* out);
