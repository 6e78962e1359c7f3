// Controls of the native stand-ins behind usertext/system.h, for tests.
//
// The locale service: tests program the answer to each query type. Until
// programmed (and after usertext_stand_in_reset) it answers like an English
// (United States) user: sign "-", negative mode 1, thousands ",", grouping
// "3;0", decimal ".", time ":". The writer needs no controls: its handles
// are file descriptors.
#pragma once

#include <cstdint>

void usertext_stand_in_reset();
// The text answer for `type` (a null text makes the query fail).
void usertext_stand_in_set_text(uint32_t type, const char16_t* text);
// The number answer for `type` (queried with the return-number flag).
void usertext_stand_in_set_number(uint32_t type, uint32_t value);
// Makes every query fail until programmed again.
void usertext_stand_in_fail_all();
// How many queries were made since the last reset.
int usertext_stand_in_query_count();
