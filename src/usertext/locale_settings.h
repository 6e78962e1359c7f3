// The user's conventions for numbers and times, stored over the locale_*
// usertext defaults at start-up.
#pragma once

#include <cstdint>

// Reads the six locale values (through the system) and stores them as the
// texts of locale_neg_format, locale_thous_sep, locale_thous_grouping,
// locale_decimal and locale_time_sep. A failed query keeps that default.
void LoadLocaleNumberSettings();
