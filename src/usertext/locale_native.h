// The native stand-in for the system's locale service: tests program the
// answer to each query type. Until programmed (and after
// locale_stand_in_reset) it answers like an English (United States) user:
// sign "-", negative mode 1, thousands ",", grouping "3;0", decimal ".",
// time ":".
#pragma once

#include <cstdint>

void locale_stand_in_reset();
// The text answer for `type` (a null text makes the query fail).
void locale_stand_in_set_text(uint32_t type, const char16_t* text);
// The number answer for `type` (queried with the return-number flag).
void locale_stand_in_set_number(uint32_t type, uint32_t value);
// Makes every query fail until programmed again.
void locale_stand_in_fail_all();
// How many queries were made since the last reset.
int locale_stand_in_query_count();
