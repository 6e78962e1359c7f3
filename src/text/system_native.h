// The native stand-in behind text/system.h, for tests: its code pages.
// Bytes 0x00-0x7F and 0xA0-0xFF stand for the same code points;
// U+4E00-U+4EFF take two bytes (lead 0x81 or 0x82, trail 0x80-0xFF);
// U+0100-U+017F have best-fit substitutes (lower-case ASCII letters) unless
// WC_NO_BEST_FIT_CHARS is given; everything else is unmappable ('?' with the
// default-character report). 65001 behaves as UTF-8 and, like Windows,
// refuses any flag or a default-character report.
#pragma once

#include <cstdint>

constexpr uint32_t kStandInCodePage = 50001;         // the native ANSI page
constexpr uint32_t kStandInCodePageNoFlags = 50002;  // the same, refusing 0x400
