// The system's side of code-page conversion, one UTF-16 unit at a time.
// Windows: WideCharToMultiByte / MultiByteToWideChar / GetACP. The native
// build has a small stand-in code page (see codepage_native.cpp) so that
// the sizing rules can be tested without Windows.
#pragma once

#include <cstddef>
#include <cstdint>

// The ANSI code page id (CP_ACP resolved).
uint32_t codepage_ansi();
// True when `code_page` is UTF-8 (65001), which takes no best-fit or
// default-character arguments.
inline bool codepage_is_utf8(uint32_t code_page) { return code_page == 65001; }
// Encodes one unit; returns the bytes written into `out` (at most 6), 0 on
// failure. `used_default` (may be null) reports a default-character
// substitution. `flags` is passed to the system as is.
int codepage_encode_unit(uint32_t code_page, uint32_t flags, char16_t unit, char out[6], bool* used_default);
// Decodes exactly `count` bytes into at most one unit; returns the units
// produced (0 on failure or when the bytes make more than one unit).
int codepage_decode(uint32_t code_page, const char* bytes, int count, char16_t* out);

#ifndef _WIN32
// The native build's stand-in pages. Bytes 0x00-0x7F and 0xA0-0xFF stand for
// the same code points; U+4E00-U+4EFF take two bytes (lead 0x81 or 0x82,
// trail 0x80-0xFF); U+0100-U+017F have best-fit substitutes (lower-case
// ASCII letters) unless WC_NO_BEST_FIT_CHARS is given; everything else is
// unmappable ('?' with the default-character report).
constexpr uint32_t kStandInCodePage = 50001;           // the native ANSI page
constexpr uint32_t kStandInCodePageNoFlags = 50002;    // the same, refusing 0x400
// 65001 behaves as UTF-8 and, like Windows, refuses any flag or a
// default-character report.
#endif
