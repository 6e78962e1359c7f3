#include <windows.h>

#include "text/wchar_cast.h"
#include "usertext/locale_settings.h"

int system_locale_info(uint32_t type, char16_t* buffer, int capacity) {
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, to_wchar(buffer), capacity);
}
