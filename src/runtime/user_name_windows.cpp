#include "runtime/user_name.h"

#include <windows.h>

#include "text/wchar_cast.h"
#include "text/wide.h"

size_t QueryUserName(char16_t* buffer, size_t size) {
  wchar_t name[kUserNameCapacity] = {};
  DWORD capacity = DWORD(kUserNameCapacity);
  const char16_t* text = u"?";
  if (GetUserNameW(name, &capacity) && name[0] != 0) text = from_wchar(name);
  size_t length = wide_length_max(text, kUserNameCapacity);
  if (buffer && size != 0) {
    size_t copied = length < size ? length : size;
    wide_move(buffer, text, copied);
    for (size_t i = copied; i < size; ++i) buffer[i] = 0;
    buffer[size - 1] = 0;
  }
  return length;
}
