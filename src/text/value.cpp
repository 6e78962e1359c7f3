#include "text/value.h"

#include "text/compare.h"
#include "text/divide.h"
#include "text/wide.h"

namespace {

// Values of the words are 0 or 1 and forms fit 16 bits: the small fields
// keep the tables compact.
struct ValueWord {
  const char16_t* word;
  uint16_t form;
  uint8_t value;
};

// The words tried for each first letter, longer ones before their prefixes.
const ValueWord kWordsD[] = {{u"disabled", kValueEnabled, 0}, {u"disable", kValueEnable, 0}};
const ValueWord kWordsE[] = {{u"enabled", kValueEnabled, 1}, {u"enable", kValueEnable, 1}};
const ValueWord kWordsF[] = {{u"false", kValueTrueFalse, 0}};
const ValueWord kWordsN[] = {{u"no", kValueYesNo, 0}};
const ValueWord kWordsO[] = {{u"on", kValueOnOff, 1}, {u"off", kValueOnOff, 0}};
const ValueWord kWordsT[] = {{u"true", kValueTrueFalse, 1}};
const ValueWord kWordsY[] = {{u"yes", kValueYesNo, 1}};

struct LetterEntry {
  char16_t letter;
  uint16_t one_letter_form;  // 0: the letter alone is no word
  uint8_t one_letter_value;
  uint8_t word_count;
  const ValueWord* words;
};

#define VALUE_WORDS(table) uint8_t(sizeof(table) / sizeof((table)[0])), table
const LetterEntry kLetters[] = {
    {u'd', kValueLetterED, 0, VALUE_WORDS(kWordsD)},
    {u'e', kValueLetterED, 1, VALUE_WORDS(kWordsE)},
    {u'f', kValueLetterTF, 0, VALUE_WORDS(kWordsF)},
    {u'n', kValueLetterYN, 0, VALUE_WORDS(kWordsN)},
    {u'o', 0, 0, VALUE_WORDS(kWordsO)},
    {u't', kValueLetterTF, 1, VALUE_WORDS(kWordsT)},
    {u'y', kValueLetterYN, 1, VALUE_WORDS(kWordsY)},
};
#undef VALUE_WORDS

// The word must lie wholly within the `available` units: a limit shorter
// than the caller's text also bounds word matching, so nothing past it is
// ever read.
bool begins_with_word(const char16_t* text, size_t available, const char16_t* word) {
  size_t word_length = wide_length(word);
  if (available < word_length) return false;
  return compare_nocase_n(text, word_length, word, word_length) == 0;
}

// Recognises a boolean word at `text` (leading white space already gone).
// `available` counts the units up to the limit, `trimmed` those without the
// trailing white space.
bool parse_word(const char16_t* text, size_t available, size_t trimmed, int64_t* value, uint32_t* form) {
  char16_t first = ascii_lower(text[0]);
  for (const LetterEntry& entry : kLetters) {
    if (entry.letter != first) continue;
    if (trimmed == 1 && entry.one_letter_form != 0) {
      *value = entry.one_letter_value;
      *form = entry.one_letter_form;
      return true;
    }
    for (size_t i = 0; i < entry.word_count; ++i) {
      if (begins_with_word(text, available, entry.words[i].word)) {
        *value = entry.words[i].value;
        *form = entry.words[i].form;
        return true;
      }
    }
    return false;
  }
  return false;
}

uint32_t hex_digit_value(char16_t c) {
  if (c <= u'9') return uint32_t(c - u'0');
  if (c <= u'F') return uint32_t(c - u'A' + 10);
  return uint32_t(c - u'a' + 10);
}

}  // namespace

int64_t parse_value(const char16_t* text, size_t limit, uint32_t* form) {
  const char16_t* s = wide_or_empty(text);
  size_t n = wide_length_max(s, limit);
  uint32_t bits = 0;
  uint64_t value = 0;

  while (n > 0 && is_space(s[0])) {
    ++s;
    --n;
  }
  size_t available = n;
  while (n > 0 && is_space(s[n - 1])) --n;

  if (n > 0) {
    int64_t word_value = 0;
    uint32_t word_form = 0;
    if (parse_word(s, available, n, &word_value, &word_form)) {
      if (form) *form = word_form;
      return word_value;
    }
    if (s[0] == u'-') {
      bits |= kValueNegative;
      ++s;
      --n;
    } else if (s[0] == u'+') {
      ++s;
      --n;
    }
    if (n >= 3 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X') && is_hex_digit(s[2])) {
      bits |= kValueHex;
      for (size_t i = 2; i < n && is_hex_digit(s[i]); ++i) value = value * 16 + hex_digit_value(s[i]);
    } else {
      for (size_t i = 0; i < n && is_digit(s[i]); ++i) value = value * 10 + uint32_t(s[i] - u'0');
    }
    // Unsigned arithmetic wraps modulo 2^64 as intended; negation is two's
    // complement.
    if (bits & kValueNegative) value = 0 - value;
  }
  if (form) *form = bits;
  return int64_t(value);
}

namespace {

constexpr uint32_t kMaxWidth = 27;

const char16_t* word_for(int64_t value, uint32_t form) {
  struct Choice {
    uint32_t bit;
    const char16_t* word;
  };
  static const Choice kTrue[] = {{kValueLetterYN, u"y"}, {kValueTrueFalse, u"true"}, {kValueLetterTF, u"t"},
                                 {kValueOnOff, u"on"},   {kValueEnable, u"enable"},  {kValueEnabled, u"enabled"},
                                 {kValueLetterED, u"e"}, {kValueYesNo, u"yes"}};
  static const Choice kFalse[] = {{kValueYesNo, u"no"},         {kValueLetterYN, u"n"}, {kValueTrueFalse, u"false"},
                                  {kValueLetterTF, u"f"},       {kValueOnOff, u"off"},  {kValueEnable, u"disable"},
                                  {kValueEnabled, u"disabled"}, {kValueLetterED, u"d"}};
  if ((form & kValueWordMask) == 0 || (value != 0 && value != 1)) return nullptr;
  const Choice* choices = value ? kTrue : kFalse;
  for (size_t i = 0; i < 8; ++i) {
    if (form & choices[i].bit) return choices[i].word;
  }
  return nullptr;
}

}  // namespace

void format_value(char16_t* dest, size_t capacity, int64_t value, uint32_t form, uint32_t width) {
  const char16_t* word = word_for(value, form);
  if (word) {
    wide_copy_max(dest, capacity, word);
    return;
  }
  if (width > kMaxWidth) width = kMaxWidth;

  // Digits are produced backwards from the end of a local array that holds
  // the widest result: "0x" or "-", then 27 digits (more than 2^64 needs).
  char16_t text[2 + kMaxWidth + 1];
  size_t at = sizeof(text) / sizeof(text[0]) - 1;
  text[at] = 0;
  uint64_t magnitude = uint64_t(value);
  uint32_t base = 10;
  const char16_t* prefix = u"";
  if (form & kValueHex) {
    base = 16;
    prefix = u"0x";
  } else if ((form & kValueNegative) && value < 0) {
    magnitude = 0 - magnitude;
    prefix = u"-";
  }
  size_t digits = 0;
  do {
    uint32_t digit = divide_small(&magnitude, base);
    text[--at] = char16_t(digit < 10 ? u'0' + digit : u'A' + digit - 10);
    ++digits;
  } while (magnitude != 0);
  for (; digits < width; ++digits) text[--at] = u'0';
  size_t prefix_length = wide_length(prefix);
  at -= prefix_length;
  wide_move(text + at, prefix, prefix_length);
  wide_copy_max(dest, capacity, text + at);
}
