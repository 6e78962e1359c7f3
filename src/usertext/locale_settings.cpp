#include "usertext/locale_settings.h"

#include <cstring>

#include "text/format.h"
#include "text/utf.h"
#include "usertext/catalog.h"
#include "usertext/system.h"

namespace {

// The locale query types (GetLocaleInfoW's LCTYPE values).
constexpr uint32_t kLocaleSNegativeSign = 0x51;
constexpr uint32_t kLocaleINegNumber = 0x1010;
constexpr uint32_t kLocaleReturnNumber = 0x20000000;
constexpr uint32_t kLocaleSThousand = 0x0F;
constexpr uint32_t kLocaleSGrouping = 0x10;
constexpr uint32_t kLocaleSDecimal = 0x0E;
constexpr uint32_t kLocaleSTime = 0x1E;

constexpr int kQueryUnits = 50;

// Asks for `type`; on success `buffer` holds a terminated answer.
bool query(uint32_t type, char16_t (&buffer)[kQueryUnits]) {
  int units = system_locale_info(type, buffer, kQueryUnits);
  if (units <= 0) return false;
  buffer[kQueryUnits - 1] = 0;
  return true;
}

// Cuts the answer after its first character (a surrogate pair stays whole).
void keep_first_character(char16_t (&buffer)[kQueryUnits]) {
  char16_t first = buffer[0];
  if (first == 0) return;
  if (is_high_surrogate(first) && is_low_surrogate(buffer[1])) {
    buffer[2] = 0;
  } else {
    buffer[1] = 0;
  }
}

void store_first_character(uint32_t type, const char16_t* key) {
  char16_t buffer[kQueryUnits];
  if (!query(type, buffer)) return;
  keep_first_character(buffer);
  usertext_set(key, buffer);
}

// Patterns for the negative-number modes; "%%1" becomes the marker that
// takes the number when the text is expanded, "%s" the locale's sign.
const char16_t* negative_pattern(uint32_t mode) {
  switch (mode) {
    case 0: return u"(%%1)";
    case 2: return u"%s %%1";
    case 3: return u"%%1%s";
    case 4: return u"%%1 %s";
    default: return nullptr;  // mode 1 and unknown modes keep the default "-%1"
  }
}

}  // namespace

void LoadLocaleNumberSettings() {
  char16_t sign[3] = u"-";
  char16_t buffer[kQueryUnits];
  if (query(kLocaleSNegativeSign, buffer)) {
    keep_first_character(buffer);
    memcpy(sign, buffer, sizeof(sign));
    sign[2] = 0;
  }

  uint32_t mode = 1;
  char16_t number[kQueryUnits];
  if (system_locale_info(kLocaleINegNumber | kLocaleReturnNumber, number, kQueryUnits) > 0) {
    memcpy(&mode, number, sizeof(mode));
  }
  if (const char16_t* pattern = negative_pattern(mode)) {
    text_format(buffer, kQueryUnits, pattern, sign);
    usertext_set(kLocaleNegFormat, buffer);
  }

  store_first_character(kLocaleSThousand, kLocaleThousSep);
  if (query(kLocaleSGrouping, buffer)) usertext_set(kLocaleThousGrouping, buffer);
  store_first_character(kLocaleSDecimal, kLocaleDecimal);
  store_first_character(kLocaleSTime, kLocaleTimeSep);
}
