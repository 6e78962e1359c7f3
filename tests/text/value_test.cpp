// Reading values from short text and writing them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "support/test_support.h"
#include "text/value.h"
#include "text/wide.h"

namespace {

struct ParseCase {
  std::u16string text;  // "<null>" stands for a null pointer
  size_t limit;
  int64_t value;
  uint32_t form;
};

const std::u16string kNull = u"<null>";

// The text in an exactly sized heap array, terminated only when the limit
// reaches past its units, so that a read beyond the limit or the terminator
// is an address-sanitizer error in the native tree.
struct ExactText {
  std::unique_ptr<char16_t[]> units;
  ExactText(const std::u16string& text, size_t limit) {
    bool terminate = limit > text.size();
    units.reset(new char16_t[text.size() + (terminate ? 1 : 0) + (text.empty() && !terminate ? 1 : 0)]);
    std::copy(text.begin(), text.end(), units.get());
    if (terminate) units[text.size()] = 0;
  }
};

int64_t parse_exact(const std::u16string& text, size_t limit, uint32_t* form) {
  if (text == kNull) return parse_value(nullptr, limit, form);
  ExactText exact(text, limit);
  return parse_value(exact.units.get(), limit, form);
}

TEST(TextValue, ParseCases) {
  const ParseCase cases[] = {
      {kNull, kNoLimit, 0, 0},
      {u"", kNoLimit, 0, 0},
      {u"   ", kNoLimit, 0, 0},
      {u"\t\r\n", kNoLimit, 0, 0},
      {u"\v 1 \v", kNoLimit, 1, 0},
      {u"y", kNoLimit, 1, 0x020},
      {u"Y", kNoLimit, 1, 0x020},
      {u" y ", kNoLimit, 1, 0x020},
      {u"n", kNoLimit, 0, 0x020},
      {u"e", kNoLimit, 1, 0x200},
      {u"d", kNoLimit, 0, 0x200},
      {u"t", kNoLimit, 1, 0x040},
      {u"f", kNoLimit, 0, 0x040},
      {u"T", kNoLimit, 1, 0x040},
      {u"YES", kNoLimit, 1, 0x004},
      {u"Yes", kNoLimit, 1, 0x004},
      {u"yesterday", kNoLimit, 1, 0x004},
      {u"no", kNoLimit, 0, 0x004},
      {u"nothing", kNoLimit, 0, 0x004},
      {u"true", kNoLimit, 1, 0x008},
      {u"TRUE ", kNoLimit, 1, 0x008},
      {u"false", kNoLimit, 0, 0x008},
      {u"enabled", kNoLimit, 1, 0x100},
      {u"enable", kNoLimit, 1, 0x080},
      {u"enablex", kNoLimit, 1, 0x080},
      {u"enablement", kNoLimit, 1, 0x080},
      {u"disabled", kNoLimit, 0, 0x100},
      {u"DISABLE", kNoLimit, 0, 0x080},
      {u"on", kNoLimit, 1, 0x010},
      {u"online", kNoLimit, 1, 0x010},
      {u"off", kNoLimit, 0, 0x010},
      {u"offset", kNoLimit, 0, 0x010},
      {u"OFF", kNoLimit, 0, 0x010},
      {u"o", kNoLimit, 0, 0},
      {u"of", kNoLimit, 0, 0},
      {u"ye", kNoLimit, 0, 0},
      {u"tru", kNoLimit, 0, 0},
      {u"dis", kNoLimit, 0, 0},
      {u"y es", kNoLimit, 0, 0},  // trimmed length 4: not the letter, and not "yes"
      {u"yes\u0000no", 7, 1, 0x004},
      {u"x", kNoLimit, 0, 0},
      {u"\u00FFes", kNoLimit, 0, 0},
      {u"42", kNoLimit, 42, 0},
      {u"  42  ", kNoLimit, 42, 0},
      {u"+42", kNoLimit, 42, 0},
      {u"42abc", kNoLimit, 42, 0},
      {u"4 2", kNoLimit, 4, 0},
      {u"-42", kNoLimit, -42, 0x002},
      {u" -42\t", kNoLimit, -42, 0x002},
      {u"- 42", kNoLimit, 0, 0x002},
      {u"007", kNoLimit, 7, 0},
      {u"0x1F", kNoLimit, 31, 0x001},
      {u"0X1f", kNoLimit, 31, 0x001},
      {u"0xfFfF", kNoLimit, 0xFFFF, 0x001},
      {u"0x1Fg", kNoLimit, 31, 0x001},
      {u"-0x10", kNoLimit, -16, 0x003},
      {u"+0x10", kNoLimit, 16, 0x001},
      {u"0x", kNoLimit, 0, 0},
      {u"0x ", kNoLimit, 0, 0},
      {u"0xg", kNoLimit, 0, 0},
      {u"-", kNoLimit, 0, 0x002},
      {u"+", kNoLimit, 0, 0},
      {u"+-5", kNoLimit, 0, 0},
      {u"--5", kNoLimit, 0, 0x002},
      {u"-yes", kNoLimit, 0, 0x002},
      {u"\f1", kNoLimit, 0, 0},
      {u"1\f", kNoLimit, 1, 0},
      {u"\u0661", kNoLimit, 0, 0},  // only ASCII digits
      {u"\uFF11", kNoLimit, 0, 0},
      {u"18446744073709551617", kNoLimit, 1, 0},
      {u"0x10000000000000001", kNoLimit, 1, 0x001},
      {u"18446744073709551615", kNoLimit, -1, 0},
      {u"9223372036854775807", kNoLimit, INT64_MAX, 0},
      {u"-9223372036854775808", kNoLimit, INT64_MIN, 0x002},
      {u"9223372036854775808", kNoLimit, INT64_MIN, 0},
      {u"0xFFFFFFFFFFFFFFFF", kNoLimit, -1, 0x001},
      {u"4294967296", kNoLimit, 4294967296LL, 0},
      // Limits.
      {u"1234", 2, 12, 0},
      {u"1234", 0, 0, 0},
      {u"yes", 1, 1, 0x020},
      {u"  yes", 3, 1, 0x020},
      {u"  yes  ", kNoLimit, 1, 0x004},
      {u"0x1F", 3, 1, 0x001},
      {u"0x1F", 2, 0, 0},
      {u"-42", 1, 0, 0x002},
      // Word matching stays within the limit: units past it take no part.
      {u"yes", 2, 0, 0},
      {u"disabled", 7, 0, 0x080},
      {u"enabled", 6, 1, 0x080},
      {u"enabled", 5, 0, 0},
      {u"off", 2, 0, 0},
      {u"onx", 2, 1, 0x010},
      {u"on", 1, 0, 0},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(escaped(c.text) + " limit " + (c.limit == kNoLimit ? std::string("none") : std::to_string(c.limit)));
    uint32_t form = 0xDEAD;
    EXPECT_EQ(parse_exact(c.text, c.limit, &form), c.value);
    EXPECT_EQ(form, c.form);
    EXPECT_EQ(parse_exact(c.text, c.limit, nullptr), c.value);
  }
}

TEST(TextValue, LowThirtyTwoBitsOfTwoToTheThirtySecondAreZero) {
  // The catalog keeps the low 32 bits; this value must leave test mode off.
  EXPECT_EQ(uint32_t(parse_value(u"4294967296", kNoLimit, nullptr)), 0u);
  EXPECT_EQ(uint32_t(parse_value(u"4294967297", kNoLimit, nullptr)), 1u);
}

// A limit is the same as cutting the text there.
TEST(TextValue, LimitEqualsTruncation) {
  TestRandom rnd(555);
  const char16_t* pieces[] = {u" ", u"\t",       u"\f",   u"-", u"+",   u"0", u"x",      u"X",  u"1",   u"9",
                              u"a", u"F",        u"g",    u"y", u"yes", u"n", u"no",     u"on", u"off", u"enable",
                              u"d", u"disabled", u"true", u"f", u"T",   u"e", u"\u00E9", u"0x"};
  for (int round = 0; round < 20000; ++round) {
    std::u16string text;
    for (uint32_t n = rnd.below(6); n > 0; --n) text += pieces[rnd.below(sizeof(pieces) / sizeof(pieces[0]))];
    size_t limit = rnd.below(uint32_t(text.size() + 2));
    SCOPED_TRACE(escaped(text) + " limit " + std::to_string(limit));
    uint32_t form_limited = 0, form_cut = 0;
    int64_t limited = parse_exact(text, limit, &form_limited);
    int64_t cut = parse_value(text.substr(0, limit).c_str(), kNoLimit, &form_cut);
    ASSERT_EQ(limited, cut);
    ASSERT_EQ(form_limited, form_cut);
    // Forms are either one word bit with a value of 0 or 1, or number bits.
    uint32_t words = form_cut & kValueWordMask;
    if (words) {
      ASSERT_EQ(words & (words - 1), 0u);
      ASSERT_EQ(form_cut & ~kValueWordMask, 0u);
      ASSERT_TRUE(limited == 0 || limited == 1);
    } else {
      ASSERT_EQ(form_cut & ~uint32_t(kValueHex | kValueNegative), 0u);
    }
  }
}

// Numbers written by the C library, with white space, signs, leading zeros
// and junk around them, read back.
TEST(TextValue, ReadsNumbersWrittenByTheCLibrary) {
  TestRandom rnd(8080);
  const char16_t* spaces[] = {u"", u" ", u"\t", u"\r\n", u"\v  "};
  const char16_t* junk[] = {u"", u"abc", u" 12", u"x", u"-", u".5", u"g"};
  for (int round = 0; round < 20000; ++round) {
    uint64_t magnitude = rnd.next() >> rnd.below(64);
    bool hex = rnd.below(2);
    int sign = int(rnd.below(3));  // none, '+', '-'
    char digits[40];
    std::snprintf(digits, sizeof digits, hex ? "%" PRIX64 : "%" PRIu64, magnitude);
    std::string number = std::string(rnd.below(3), '0') + digits;
    if (hex && rnd.below(2))
      for (char& ch : number) ch = char(std::tolower(ch));
    std::u16string text = spaces[rnd.below(5)];
    if (sign == 1) text += u'+';
    if (sign == 2) text += u'-';
    if (hex) text += rnd.below(2) ? u"0x" : u"0X";
    text += u16(number);
    std::u16string tail = junk[rnd.below(7)];
    if (hex && tail == u"abc") tail = u"xyz";  // hexadecimal digits would join the number
    text += tail;
    text += spaces[rnd.below(5)];
    SCOPED_TRACE(escaped(text));
    uint32_t form = 0;
    int64_t value = parse_exact(text, kNoLimit, &form);
    uint64_t expected = sign == 2 ? 0 - magnitude : magnitude;
    ASSERT_EQ(uint64_t(value), expected);
    ASSERT_EQ(form, (hex ? uint32_t(kValueHex) : 0u) | (sign == 2 ? uint32_t(kValueNegative) : 0u));
  }
}

// --- format_value ------------------------------------------------------------

std::u16string format(int64_t value, uint32_t form, uint32_t width = 0) {
  char16_t buffer[64];
  std::fill(buffer, buffer + 64, char16_t(0xAAAA));
  format_value(buffer, 64, value, form, width);
  return buffer;
}

TEST(TextFormatValue, Cases) {
  struct Case {
    int64_t value;
    uint32_t form;
    uint32_t width;
    std::u16string text;
  };
  const Case cases[] = {
      {1, 0x004, 0, u"yes"},
      {0, 0x004, 0, u"no"},
      {1, 0x008, 0, u"true"},
      {0, 0x008, 0, u"false"},
      {1, 0x010, 0, u"on"},
      {0, 0x010, 0, u"off"},
      {1, 0x020, 0, u"y"},
      {0, 0x020, 0, u"n"},
      {1, 0x040, 0, u"t"},
      {0, 0x040, 0, u"f"},
      {1, 0x080, 0, u"enable"},
      {0, 0x080, 0, u"disable"},
      {1, 0x100, 0, u"enabled"},
      {0, 0x100, 0, u"disabled"},
      {1, 0x200, 0, u"e"},
      {0, 0x200, 0, u"d"},
      // Several word bits: the first in each value's own order.
      {1, 0x024, 0, u"y"},
      {0, 0x024, 0, u"no"},
      {1, 0x3FC, 0, u"y"},
      {0, 0x3FC, 0, u"no"},
      {1, 0x204, 0, u"e"},
      {1, 0x014, 0, u"on"},
      {0, 0x240, 0, u"f"},
      {1, 0x180, 0, u"enable"},
      {0, 0x180, 0, u"disable"},
      {0, 0x018, 0, u"false"},
      {1, 0x060, 0, u"y"},
      {0, 0x210, 0, u"off"},
      {1, 0x048, 0, u"true"},
      {0, 0x060, 0, u"n"},
      {1, 0x300, 0, u"enabled"},
      {0, 0x300, 0, u"disabled"},
      // Words ignore the width and the number bits.
      {1, 0x007, 9, u"yes"},
      {0, 0x013, 9, u"off"},
      // Other values with a word bit are numbers.
      {2, 0x004, 0, u"2"},
      {-1, 0x004, 0, u"18446744073709551615"},
      // Numbers.
      {0, 0, 0, u"0"},
      {1, 0, 0, u"1"},
      {42, 0, 0, u"42"},
      {42, 0, 5, u"00042"},
      {-5, 0x002, 3, u"-005"},
      {-5, 0x002, 0, u"-5"},
      {5, 0x002, 3, u"005"},
      {-1, 0, 0, u"18446744073709551615"},
      {INT64_MIN, 0x002, 0, u"-9223372036854775808"},
      {INT64_MAX, 0x002, 0, u"9223372036854775807"},
      {0, 0x001, 0, u"0x0"},
      {0, 0x001, 3, u"0x000"},
      {31, 0x001, 0, u"0x1F"},
      {255, 0x001, 4, u"0x00FF"},
      {-16, 0x003, 0, u"0xFFFFFFFFFFFFFFF0"},
      {-1, 0x001, 0, u"0xFFFFFFFFFFFFFFFF"},
      {7, 0, 27, std::u16string(26, u'0') + u"7"},
      {7, 0, 28, std::u16string(26, u'0') + u"7"},
      {7, 0, 0xFFFFFFFF, std::u16string(26, u'0') + u"7"},
      {-7, 0x002, 40, u"-" + std::u16string(26, u'0') + u"7"},
      {7, 0x001, 100, u"0x" + std::u16string(26, u'0') + u"7"},
      {int64_t(12345678901234567890ull), 0, 25, u"0000012345678901234567890"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + " form " + std::to_string(c.form) + " width " + std::to_string(c.width));
    EXPECT_EQ(format(c.value, c.form, c.width), c.text);
  }
}

TEST(TextFormatValue, CapacityCutsSilently) {
  char16_t buffer[8];
  for (size_t capacity = 0; capacity <= 8; ++capacity) {
    SCOPED_TRACE(capacity);
    std::fill(buffer, buffer + 8, char16_t(u'#'));
    format_value(buffer, capacity, -123456789, kValueNegative, 0);
    std::u16string full = u"-123456789";
    for (size_t i = 0; i < 8; ++i) {
      if (capacity == 0 || i >= capacity)
        EXPECT_EQ(buffer[i], u'#') << i;  // nothing written outside the capacity
      else if (i + 1 == capacity)
        EXPECT_EQ(buffer[i], 0) << i;
      else
        EXPECT_EQ(buffer[i], full[i]) << i;
    }
  }
  format_value(nullptr, 10, 1, 0, 0);  // a null destination is ignored
}

TEST(TextFormatValue, RoundTripsThroughParse) {
  TestRandom rnd(1234567);
  const uint32_t canonical_word_forms[] = {kValueYesNo,    kValueTrueFalse, kValueOnOff,   kValueLetterYN,
                                           kValueLetterTF, kValueEnable,    kValueEnabled, kValueLetterED};
  for (int round = 0; round < 50000; ++round) {
    int64_t value;
    switch (rnd.below(4)) {
      case 0: value = int64_t(rnd.below(2)); break;
      case 1: value = int64_t(rnd.below(200)) - 100; break;
      default: value = int64_t(rnd.next() >> rnd.below(64)) * (rnd.below(2) ? 1 : -1); break;
    }
    uint32_t form = rnd.below(3) == 0 ? uint32_t(rnd.next()) : uint32_t(rnd.below(4));
    if (rnd.below(3) == 0) form = canonical_word_forms[rnd.below(8)];
    uint32_t width = rnd.below(4) == 0 ? uint32_t(rnd.next()) : rnd.below(30);
    std::u16string text = format(value, form, width);
    SCOPED_TRACE(std::to_string(value) + " form " + std::to_string(form) + " -> " + escaped(text));
    uint32_t parsed_form = 0;
    // Every value comes back whatever the form: words only for 0 and 1, and
    // the digits of the bit pattern otherwise.
    ASSERT_EQ(parse_value(text.c_str(), kNoLimit, &parsed_form), value);
    // The form comes back when it is one that the parser itself produces.
    bool word = (value == 0 || value == 1) && (form & kValueWordMask);
    uint32_t expected_form;
    if (word) {
      expected_form = 0;
      for (uint32_t bit : canonical_word_forms)
        if (form == bit) expected_form = bit;
      if (!expected_form) continue;  // a mixture of word bits reads back as the one written
    } else if (form & kValueHex) {
      expected_form = kValueHex;
    } else {
      expected_form = (form & kValueNegative) && value < 0 ? uint32_t(kValueNegative) : 0u;
    }
    ASSERT_EQ(parsed_form, expected_form);
    // Writing what was read reproduces the text.
    ASSERT_EQ(format(value, parsed_form, width), text);
  }
}

}  // namespace
