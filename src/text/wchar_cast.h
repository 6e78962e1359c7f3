// The one crossing between the core's char16_t text and Win32's wchar_t.
// Both are 16-bit UTF-16 units on Windows; the casts change only the type.
#pragma once

#ifdef _WIN32
#include <cwchar>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is UTF-16");

inline wchar_t* to_wchar(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* to_wchar(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline char16_t* from_wchar(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* from_wchar(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
#endif
