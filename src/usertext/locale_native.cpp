// A programmable stand-in for GetLocaleInfoW, with its conventions: the
// result counts the units written including the terminator (2 for a number),
// 0 means failure, and an answer that does not fit fails.
#include <cstring>

#include "text/wide.h"
#include "usertext/locale_native.h"
#include "usertext/locale_settings.h"

namespace {

constexpr uint32_t kReturnNumber = 0x20000000;
constexpr int kSlots = 8;
constexpr size_t kAnswerUnits = 64;

struct Answer {
  uint32_t type;
  bool present;
  bool is_number;
  uint32_t number;
  char16_t text[kAnswerUnits];
};

Answer g_answers[kSlots];
int g_queries = 0;

Answer* slot_for(uint32_t type, bool create) {
  for (Answer& answer : g_answers) {
    if (answer.type == type && (answer.present || create)) return &answer;
  }
  if (!create) return nullptr;
  for (Answer& answer : g_answers) {
    if (!answer.present) {
      answer.type = type;
      return &answer;
    }
  }
  return nullptr;
}

void forget_all() {
  for (Answer& answer : g_answers) {
    answer = Answer{};
  }
}

bool g_programmed = false;

void ensure_defaults() {
  if (g_programmed) return;
  g_programmed = true;
  locale_stand_in_set_text(0x51, u"-");
  locale_stand_in_set_number(0x1010, 1);
  locale_stand_in_set_text(0x0F, u",");
  locale_stand_in_set_text(0x10, u"3;0");
  locale_stand_in_set_text(0x0E, u".");
  locale_stand_in_set_text(0x1E, u":");
}

}  // namespace

void locale_stand_in_reset() {
  forget_all();
  g_queries = 0;
  g_programmed = false;
  ensure_defaults();
}

void locale_stand_in_fail_all() {
  g_programmed = true;
  forget_all();
}

void locale_stand_in_set_text(uint32_t type, const char16_t* text) {
  g_programmed = true;
  Answer* answer = slot_for(type, true);
  if (answer == nullptr) return;
  answer->present = text != nullptr;
  answer->is_number = false;
  wide_copy_max(answer->text, kAnswerUnits, text);
}

void locale_stand_in_set_number(uint32_t type, uint32_t value) {
  g_programmed = true;
  Answer* answer = slot_for(type, true);
  if (answer == nullptr) return;
  answer->present = true;
  answer->is_number = true;
  answer->number = value;
}

int locale_stand_in_query_count() { return g_queries; }

int system_locale_info(uint32_t type, char16_t* buffer, int capacity) {
  ensure_defaults();
  ++g_queries;
  bool want_number = (type & kReturnNumber) != 0;
  const Answer* answer = slot_for(type & ~kReturnNumber, false);
  if (answer == nullptr || answer->is_number != want_number) return 0;
  if (want_number) {
    if (capacity < 2) return 0;
    memcpy(buffer, &answer->number, sizeof(answer->number));
    return 2;
  }
  size_t units = wide_length(answer->text) + 1;
  if (units > static_cast<size_t>(capacity)) return 0;
  wide_copy(buffer, answer->text);
  return static_cast<int>(units);
}
