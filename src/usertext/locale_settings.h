// The user's conventions for numbers and times, stored over the locale_*
// usertext defaults at start-up.
#pragma once

#include <cstdint>

// Reads the six locale values (through the system) and stores them as the
// texts of locale_neg_format, locale_thous_sep, locale_thous_grouping,
// locale_decimal and locale_time_sep. A failed query keeps that default.
void LoadLocaleNumberSettings();

// The system query (GetLocaleInfoW with LOCALE_USER_DEFAULT and a 50-unit
// buffer): units written including the terminator, 0 on failure.
int system_locale_info(uint32_t type, char16_t* buffer, int capacity);
