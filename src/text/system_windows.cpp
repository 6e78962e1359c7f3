// The system's code-page conversions, one unit at a time.
#include <windows.h>

#include "text/system.h"
#include "text/wchar_cast.h"

uint32_t system_ansi_code_page() { return GetACP(); }

int system_encode_unit(uint32_t code_page, uint32_t flags, char16_t unit, char out[6], bool* used_default) {
  BOOL used = FALSE;
  const char16_t source[1] = {unit};
  // UTF-8 refuses a non-null default-character report, so it is passed only
  // when the caller asks for it.
  int n = WideCharToMultiByte(code_page, flags, to_wchar(source), 1, out, 6, nullptr, used_default ? &used : nullptr);
  if (used_default) *used_default = n > 0 && used;
  return n > 0 ? n : 0;
}

int system_decode(uint32_t code_page, const char* bytes, int count, char16_t* out) {
  if (count <= 0 || !bytes) return 0;
  wchar_t unit = 0;
  int n = MultiByteToWideChar(code_page, 0, bytes, count, &unit, 1);
  if (n != 1) return 0;
  *out = char16_t(unit);
  return 1;
}
