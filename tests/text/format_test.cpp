#include "text/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/wide.h"

#if defined(__SANITIZE_ADDRESS__)
// Lets the allocation-failure test see malloc's null instead of a report.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

// The whole output into a roomy buffer; checks that the returned length is
// the length written.
template <typename... A>
std::u16string F(const char16_t* format, A... args) {
  std::vector<char16_t> buf(512, u'#');
  size_t n = text_format(buf.data(), buf.size(), format, args...);
  EXPECT_LT(n, buf.size());
  EXPECT_EQ(buf[n], 0);
  return std::u16string(buf.data(), n < buf.size() ? n : 0);
}

struct Row {
  const char16_t* format;
  std::u16string actual;
  std::u16string expected;
};

// A row names its format once: what it must give, then its arguments.
template <typename... A>
Row R(const char16_t* format, std::u16string expected, A... args) {
  return {format, F(format, args...), std::move(expected)};
}

void check_rows(const std::vector<Row>& rows) {
  for (const Row& row : rows) EXPECT_EQ(escaped(row.actual), escaped(row.expected)) << "format " << utf8(row.format);
}

const uint8_t kGuid[16] = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                           0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

TEST(TextFormat, ScanningAndLiterals) {
  check_rows({
      R(u"abc", u"abc"),
      R(u"%%", u"%"),
      R(u"abc%", u"abc"),
      R(u"a%k|b", u"a|b", 99),
      R(u"%k%d", u"5", 5),  // %k took no argument
      R(u"%Id", u"d", 5),
      R(u"%I6d", u"6d", 5),
      R(u"%I1x", u"1x", 5),
      R(u"%hhd", u"d", 5),  // one size prefix only
      R(u"%5", u""),
      R(u"%-+ #0", u""),
      R(u"%.", u""),
      R(u"%ll", u""),
      R(u"%I6", u"6"),
      R(u"%*5d", u"d", 3),  // '*' passes straight on; '5' is no conversion
      R(u"x\U0001F600y", u"x\U0001F600y"),
  });
  char16_t buf[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(text_format(buf, 4, nullptr), 0u);
  EXPECT_EQ(buf[0], 0);
}

TEST(TextFormat, CapacityEdges) {
  char16_t buf[8];
  for (char16_t& c : buf) c = u'#';
  EXPECT_EQ(text_format(nullptr, 0, u"abcdefg"), 7u);
  EXPECT_EQ(text_format(buf, 0, u"abcdefg"), 7u);
  EXPECT_EQ(buf[0], u'#');
  EXPECT_EQ(text_format(buf, 5, u"abcdefg"), 7u);
  EXPECT_EQ(std::u16string(buf), u"abcd");
  EXPECT_EQ(buf[5], u'#');
  EXPECT_EQ(text_format(buf, 1, u"abc"), 3u);
  EXPECT_EQ(buf[0], 0);
  // "ab" and a pair with capacity 4: the pair fits but its terminator does
  // not; the cut output must not end in the pair's first half.
  EXPECT_EQ(text_format(buf, 4, u"ab\U0001F600"), 4u);
  EXPECT_EQ(escaped(buf), "ab");
  EXPECT_EQ(text_format(buf, 4, u"ab%I32c", 0x1F600), 4u);
  EXPECT_EQ(escaped(buf), "ab");
  EXPECT_EQ(text_format(buf, 4, u"a%s", u"b\U0001F600"), 4u);
  EXPECT_EQ(escaped(buf), "ab");
  EXPECT_EQ(text_format(buf, 5, u"ab\U0001F600"), 4u);
  EXPECT_EQ(escaped(buf), escaped(u"ab\U0001F600"));
}

TEST(TextFormat, Integers) {
  check_rows({
      R(u"%5d", u"   42", 42),
      R(u"%-5d|", u"42   |", 42),
      R(u"%05d", u"-0042", -42),
      R(u"%+d", u"+0", 0),
      R(u"% d", u" 7", 7),
      R(u"%+ d", u"+7", 7),
      R(u"%#x", u"0xff", 255),
      R(u"%#X", u"0XFF", 255),
      R(u"%#o", u"010", 8),
      R(u"%#x", u"0x0", 0),
      R(u"%#o", u"00", 0),
      R(u"%#d", u"12", 12),
      R(u"%lld", u"-9223372036854775808", (long long)INT64_MIN),
      R(u"%I64d", u"-9223372036854775808", (long long)INT64_MIN),
      R(u"%llu", u"18446744073709551615", (unsigned long long)UINT64_MAX),
      R(u"%llo", u"1777777777777777777777", (unsigned long long)UINT64_MAX),
      R(u"%d", u"-2147483648", INT32_MIN),
      R(u"%-08d|", u"00000042|", 42),
      R(u"%*d|", u"42|", -5, 42),
      R(u"%*d|", u"42|", INT_MIN, 42),
      R(u"%*d|", u"  42|", 4, 42),
      R(u"%hd", u"-1", 0x2FFFF),
      R(u"%hu", u"65535", 0x2FFFF),
      R(u"%I8d", u"-1", 0x1FF),
      R(u"%I8u", u"255", 0x1FF),
      R(u"%I16x", u"2345", 0x12345),
      R(u"%I32u", u"4294967295", -1),
      R(u"%ld", u"5", 5),
      R(u"%Lu", u"4294967295", -1),
      R(u"%.0d", u"0", 0),
      R(u"%.3d", u"007", 7),
      R(u"%8.5d", u"   00042", 42),
      R(u"%08.5d", u"   00042", 42),  // a precision turns the zero flag off
      R(u"%-8.5d|", u"-00042  |", -42),
      R(u"%.*d", u"0003", 4, 3),
      R(u"%.*d", u"3", -1, 3),
      R(u"%.*d", u"3", -7, 3),
      R(u"%*.*d", u"  -005", 6, 3, -5),
      R(u"%p", u"deadbeefcafe", (unsigned long long)0xDEADBEEFCAFEull),
      R(u"%#P", u"0XABC", (unsigned long long)0xABCull),
      R(u"%hp", u"123456789", (unsigned long long)0x123456789ull),
      R(u"%016p", u"0000000000001234", (unsigned long long)0x1234ull),
  });
  // The argument for the ll prefix really is 64 bits: the next argument
  // follows it.
  EXPECT_EQ(F(u"%lld %d", 1ll << 40, 7), u"1099511627776 7");
  EXPECT_EQ(F(u"%ld %d", 5, 6), u"5 6");
}

TEST(TextFormat, CharactersAndStrings) {
  check_rows({
      R(u"%c", u"A", 'A'),
      R(u"%3c", u"A", 'A'),
      R(u"%-3c|", u"A|", 'A'),
      R(u"%c", u"\uF600", 0x1F600),  // 16-bit by default
      R(u"%hc", u"\u00FF", 0x1FF),
      R(u"%lc", u"\u20AC", 0x120AC),
      R(u"%wc", u"\u20ACc", 0x20AC),  // w is a conversion of its own
      R(u"%w", u"\u20AC", 0x20AC),
      R(u"%I32c", u"\U0001F600", 0x1F600),
      R(u"%I32c", u"\uFFFF", 0x110000),
      R(u"%I8c", u"\u00E9", 0x1E9),
      R(u"%C", u"\u00E9", 0x1E9),
      R(u"%lC", u"A", 0x141),
      R(u"%llc", u"\U0001F600", 0x1F600ll),
      R(u"%s", u"h\u00E9llo", u"h\u00E9llo"),
      R(u"%5.3s", u"  abc", u"abcdef"),
      R(u"%-5s|", u"ab   |", u"ab"),
      R(u"%s|", u"|", (const char16_t*)nullptr),
      R(u"%3s|", u"   |", (const char16_t*)nullptr),
      R(u"%05s", u"   ab", u"ab"),
      R(u"%.0s|", u"|", u"ab"),
      R(u"%.*s", u"ab", 2, u"abc"),
      R(u"%ls", u"wide", u"wide"),
      R(u"%hs", u"narrow", "narrow"),
      R(u"%S", u"caf\uFFFF\uFFFF", "caf\xC3\xA9"),
      R(u"%hS", u"x", "x"),
      R(u"%lS", u"x", "x"),
      R(u"%-4hs|", u"ab  |", "ab"),
      R(u"%.2S", u"ab", "abc"),
      R(u"%S|", u"|", (const char*)nullptr),
      R(u"%.1s", std::u16string(1, char16_t(0xD83D)), u"\U0001F600"),  // units, not characters
  });
  // A precision bounds the reading: an unterminated array is fine.
  const char16_t raw[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(F(u"%.3s", raw), u"xyz");
  const char narrow_raw[2] = {'p', 'q'};
  EXPECT_EQ(F(u"%.2hs", narrow_raw), u"pq");
}

TEST(TextFormat, Guids) {
  check_rows({
      R(u"%r", u"01234567-89ab-cdef-0123456789abcdef", kGuid),
      R(u"%R", u"01234567-89AB-CDEF-0123456789ABCDEF", kGuid),
      R(u"%37r|", u"  01234567-89ab-cdef-0123456789abcdef|", kGuid),
      R(u"%-37R|", u"01234567-89AB-CDEF-0123456789ABCDEF  |", kGuid),
      R(u"%.8r", u"01234567", kGuid),
      R(u"%r|", u"|", (const void*)nullptr),
      R(u"%4r|", u"    |", (const void*)nullptr),
      R(u"%-2R|", u"  |", (const void*)nullptr),
  });
}

TEST(TextFormat, Times) {
  check_rows({
      R(u"%t", u"1970-01-01 00:00:00", 0ll),
      R(u"%T", u"1601-01-01 00:00:00.000", 0ull),
      R(u"%25t", u"      1970-01-01 00:00:00", 0ll),
      R(u"%-21t|", u"1970-01-01 00:00:00  |", 0ll),
      R(u"%.10t", u"1970-01-01", 0ll),
      R(u"%ht", u"2106-02-07 06:28:15", -1),
      R(u"%lt", u"2106-02-07 06:28:15", -1),
      R(u"%-ht", u"1969-12-31 23:59:59", -1),
      R(u"%t", u"1969-12-31 23:59:59", -1ll),
      R(u"%t", u"2000-02-29 00:00:00", 951782400ll),
      R(u"%t", u"9999-12-31 23:59:59", 253402300799ll),
      R(u"%t", u"1601-01-01 00:00:00", -11644473600ll),
      R(u"%T", u"2017-01-01 00:00:00.123", 131277024001234567ull),
      R(u"%T", u"1601-03-01 00:00:00.000", 864000000000ull * 59 + 9999ull),
  });
}

// Ticks far outside 1601-9999 give nonsense, but every character is still a
// digit or a separator and the length is fixed.
TEST(TextFormat, TimesOutsideTheRangeStaySafe) {
  const unsigned long long ticks[] = {UINT64_MAX, UINT64_MAX - 1, 1ull << 63, 3155378975999999999ull + 1,
                                      (253402300800ull + 11644473600ull) * 10000000ull * 7};
  for (unsigned long long t : ticks) {
    std::u16string text = F(u"%T", t);
    ASSERT_EQ(text.size(), 23u) << t;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t expected_separator = i == 4 || i == 7     ? u'-'
                                    : i == 10            ? u' '
                                    : i == 13 || i == 16 ? u':'
                                    : i == 19            ? u'.'
                                                         : 0;
      if (expected_separator)
        EXPECT_EQ(text[i], expected_separator) << t;
      else
        EXPECT_TRUE(text[i] >= u'0' && text[i] <= u'9') << t;
    }
  }
  const long long seconds[] = {LLONG_MIN, LLONG_MAX, -11644473601ll, -100000000000000ll};
  for (long long s : seconds) EXPECT_EQ(F(u"%t", s).size(), 19u) << s;
}

// Proleptic Gregorian date of a day count from 1970-01-01, computed in eras
// from 0000-03-01 (a different route from the one under test).
void civil_from_days(long long z, long long* y, unsigned* m, unsigned* d) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = unsigned(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = (long long)yoe + era * 400 + (*m <= 2);
}

TEST(TextFormat, TimesMatchCalendarModel) {
  TestRandom r(1601);
  const long long first = -11644473600ll, last = 253402300799ll;  // 1601-01-01 .. 9999-12-31
  for (int i = 0; i < 20000; ++i) {
    long long s = first + (long long)(r.next() % uint64_t(last - first + 1));
    if (i % 5 == 0) s = (s / 86400) * 86400 + (long long)r.below(3) * 86399 / 2;  // near midnight
    long long days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    long long rest = s - days * 86400;
    long long y;
    unsigned m, d;
    civil_from_days(days, &y, &m, &d);
    char expected[40];
    snprintf(expected, sizeof expected, "%04lld-%02u-%02u %02lld:%02lld:%02lld", y, m, d, rest / 3600, rest / 60 % 60,
             rest % 60);
    ASSERT_EQ(utf8(F(u"%t", s)), expected) << s;
    unsigned sub = r.below(10000000);
    unsigned long long ticks = (unsigned long long)(s + 11644473600ll) * 10000000ull + sub;
    char expected_ms[48];
    snprintf(expected_ms, sizeof expected_ms, "%s.%03u", expected, sub / 10000);
    ASSERT_EQ(utf8(F(u"%T", ticks)), expected_ms) << ticks;
    if (s >= INT32_MIN && s <= INT32_MAX) ASSERT_EQ(utf8(F(u"%-lt", int(s))), expected) << s;
    if (s >= 0 && s <= UINT32_MAX) ASSERT_EQ(utf8(F(u"%I32t", (unsigned)s)), expected) << s;
  }
}

TEST(TextFormat, CountStores) {
  int8_t n8 = -1;
  int16_t n16 = -1;
  int32_t n32 = -1;
  int64_t n64 = -1, n_default = -1;
  EXPECT_EQ(F(u"ab%I8nc%hnd%lne%I64nf%n|", &n8, &n16, &n32, &n64, &n_default), u"abcdef|");
  EXPECT_EQ(n8, 2);
  EXPECT_EQ(n16, 3);
  EXPECT_EQ(n32, 4);
  EXPECT_EQ(n64, 5);
  EXPECT_EQ(n_default, 6);
  // The count includes what did not fit.
  char16_t buf[3];
  int64_t n = 0;
  EXPECT_EQ(text_format(buf, 3, u"abcdef%n", &n), 6u);
  EXPECT_EQ(n, 6);
  // A null pointer stores nothing and the output goes on.
  EXPECT_EQ(F(u"x%ny%lnz", (int64_t*)nullptr, (int32_t*)nullptr), u"xyz");
  // The 8-bit store keeps only the low byte.
  std::u16string wide_text(300, u'w');
  EXPECT_EQ(F(u"%s%I8n", wide_text.c_str(), &n8).size(), 300u);
  EXPECT_EQ(uint8_t(n8), 300 % 256);
}

// Random integer conversions against the C library where the rules agree.
// Excluded, because the rules differ on purpose:
//  - zero and left flags together without a precision (here the zero flag
//    wins, in C the left flag);
//  - the alternate flag with the value 0 (here "0x0" and "00") and with 'o'
//    and a precision (C counts the '0' prefix into the precision);
//  - precision 0 with the value 0 (here "0", in C nothing);
//  - negative '*' widths (here no width, in C left alignment).
// The size prefixes map as l -> none, I8 -> hh, I16 -> h, I32 -> none,
// I64 -> ll (l is 32 bits here); p and P print like llx and llX.
TEST(TextFormat, IntegersMatchTheCLibrary) {
  TestRandom r(31337);
  static const char* const kOurSizes[] = {"", "h", "l", "ll", "I8", "I16", "I32", "I64", "L"};
  static const char* const kCSizes[] = {"", "h", "", "ll", "hh", "h", "", "ll", ""};
  static const bool kWide[] = {false, false, false, true, false, false, false, true, false};
  static const char kConversions[] = "diuoxXpP";
  int compared = 0;
  for (int round = 0; round < 30000; ++round) {
    char conversion = kConversions[r.below(8)];
    bool pointer = conversion == 'p' || conversion == 'P';
    size_t size_index = r.below(9);
    bool wide = pointer || kWide[size_index];
    bool left = r.below(3) == 0, zero = r.below(3) == 0, alternate = r.below(3) == 0;
    bool plus = r.below(4) == 0, space = r.below(4) == 0;
    int width_kind = int(r.below(3));  // none, digits, star
    int width = int(r.below(26));
    int precision_kind = int(r.below(3));
    int precision = int(r.below(26)) - (precision_kind == 2 ? 1 : 0);
    uint64_t value;
    switch (r.below(4)) {
      case 0: value = r.below(1000); break;
      case 1: value = r.next(); break;
      case 2: value = uint64_t(0) - r.below(1000); break;
      default: value = uint64_t(1) << r.below(64); break;
    }
    bool has_precision = precision_kind == 1 || (precision_kind == 2 && precision >= 0);
    if (zero && left && !has_precision) continue;
    if (alternate && (value == 0 || (conversion == 'o' && has_precision))) continue;
    // The value as the conversion will see it decides the zero cases.
    uint64_t seen = value;
    if (!wide) {
      seen = uint32_t(value);
      if (std::string(kOurSizes[size_index]) == "h" || std::string(kOurSizes[size_index]) == "I16")
        seen = uint16_t(value);
      if (std::string(kOurSizes[size_index]) == "I8") seen = uint8_t(value);
    }
    if (alternate && seen == 0) continue;
    if (has_precision && precision == 0 && seen == 0) continue;

    std::string flags;
    if (left) flags += '-';
    if (zero) flags += '0';
    if (alternate) flags += '#';
    if (plus) flags += '+';
    if (space) flags += ' ';
    // The sign flags mean nothing to unsigned conversions; they go only to
    // the engine (some C libraries print the blank anyway).
    bool is_signed = conversion == 'd' || conversion == 'i';
    std::string their_flags = flags;
    if (!is_signed) {
      if (plus) their_flags.erase(their_flags.find('+'), 1);
      if (space) their_flags.erase(their_flags.find(' '), 1);
    }
    std::string rest;
    if (width_kind == 1) rest += std::to_string(width);
    if (width_kind == 2) rest += '*';
    if (precision_kind == 1) rest += "." + std::to_string(precision);
    if (precision_kind == 2) rest += ".*";
    std::string ours = "<%" + flags + rest + (pointer ? "" : kOurSizes[size_index]) + conversion + ">";
    std::string theirs = "<%" + their_flags + rest + (pointer ? "ll" : kCSizes[size_index]) +
                         (pointer ? (conversion == 'p' ? 'x' : 'X') : conversion) + ">";
    std::u16string format = u16(ours);

    std::vector<char16_t> out(128);
    char expected[128];
    std::vector<int> stars;
    if (width_kind == 2) stars.push_back(width);
    if (precision_kind == 2) stars.push_back(precision);
    long long v64 = (long long)value;
    int v32 = int(uint32_t(value));
    if (stars.size() == 0) {
      if (wide) {
        text_format(out.data(), out.size(), format.c_str(), v64);
        snprintf(expected, sizeof expected, theirs.c_str(), v64);
      } else {
        text_format(out.data(), out.size(), format.c_str(), v32);
        snprintf(expected, sizeof expected, theirs.c_str(), v32);
      }
    } else if (stars.size() == 1) {
      if (wide) {
        text_format(out.data(), out.size(), format.c_str(), stars[0], v64);
        snprintf(expected, sizeof expected, theirs.c_str(), stars[0], v64);
      } else {
        text_format(out.data(), out.size(), format.c_str(), stars[0], v32);
        snprintf(expected, sizeof expected, theirs.c_str(), stars[0], v32);
      }
    } else {
      if (wide) {
        text_format(out.data(), out.size(), format.c_str(), stars[0], stars[1], v64);
        snprintf(expected, sizeof expected, theirs.c_str(), stars[0], stars[1], v64);
      } else {
        text_format(out.data(), out.size(), format.c_str(), stars[0], stars[1], v32);
        snprintf(expected, sizeof expected, theirs.c_str(), stars[0], stars[1], v32);
      }
    }
    ASSERT_EQ(utf8(out.data()), std::string(expected)) << ours << " vs " << theirs << " value " << value;
    ++compared;
  }
  EXPECT_GT(compared, 10000);
}

// One format with a fixed argument list, as a call that can be repeated at
// any capacity.
using Call = std::function<size_t(char16_t*, size_t)>;

// For every capacity the result is the same length, the buffer holds a
// prefix of the full output made of whole characters (the longest that fits
// with its terminator), and nothing is written beyond the capacity.
void check_truncation(const Call& call, const std::string& label) {
  std::vector<char16_t> full_buf(4096);
  size_t n = call(full_buf.data(), full_buf.size());
  ASSERT_LT(n, full_buf.size()) << label;
  std::u16string full(full_buf.data(), n);
  for (size_t capacity = 0; capacity <= n + 2; ++capacity) {
    std::vector<char16_t> buf(capacity + 1, u'#');
    ASSERT_EQ(call(buf.data(), capacity), n) << label << " capacity " << capacity;
    ASSERT_EQ(buf[capacity], u'#') << label << " capacity " << capacity;
    if (capacity == 0) continue;
    size_t keep = n < capacity - 1 ? n : capacity - 1;
    if (keep < n && keep > 0 && full[keep - 1] >= 0xD800 && full[keep - 1] <= 0xDBFF) --keep;
    ASSERT_EQ(escaped(std::u16string(buf.data())), escaped(full.substr(0, keep))) << label << " capacity " << capacity;
    ASSERT_EQ(buf[keep], 0) << label;
  }
}

TEST(TextFormat, TruncationKeepsAPrefixOfWholeCharacters) {
  TestRandom r(99);
  static const char16_t* const kLiterals[] = {u"", u"a", u"\U0001F600", u"%%", u"%k", u"xy\u00E9", u"\U00010000z"};
  static const char16_t* const kStringSpecs[] = {u"%s", u"%5s", u"%-7.3s", u"%.1s", u"%.2s", u"%9s"};
  static const char16_t* const kCharSpecs[] = {u"%I32c", u"%x", u"%d", u"%c", u"%5.3d", u"%-6I32c"};
  static const char16_t* const kWideSpecs[] = {u"%lld", u"%#llx", u"%llt", u"%-25llt|", u"%T"};
  static const char16_t* const kGuidSpecs[] = {u"%r", u"%40R", u"%.5r", u"%-37r"};
  const char16_t* strings[] = {u"x\U0001F600y", u"\U0001F600\U0001F600", u"", u"plain"};
  for (int round = 0; round < 600; ++round) {
    std::u16string format;
    auto literal = [&] { format += kLiterals[r.below(7)]; };
    literal();
    format += kStringSpecs[r.below(6)];
    literal();
    format += kCharSpecs[r.below(6)];
    literal();
    format += kWideSpecs[r.below(5)];
    literal();
    format += kGuidSpecs[r.below(4)];
    literal();
    const char16_t* s = strings[r.below(4)];
    int c = r.below(2) ? 0x1F600 : 0x41;
    long long w = (long long)(r.next() >> 8);
    std::u16string f = format;
    check_truncation([&](char16_t* out, size_t cap) { return text_format(out, cap, f.c_str(), s, c, w, kGuid); },
                     escaped(f));
  }
}

TEST(TextFormat, AllocatingForms) {
  char16_t* short_text = text_format_alloc(u"%s=%d", u"key", 42);
  ASSERT_NE(short_text, nullptr);
  EXPECT_EQ(std::u16string(short_text), u"key=42");
  wide_free(short_text);
  // Around the 100-unit local buffer, and far beyond it: the second pass
  // takes the same arguments again.
  for (int width : {98, 99, 100, 101, 5000}) {
    char16_t* text = text_format_alloc(u"%*d|%s|%lld", width, 7, u"tail", 1ll << 40);
    ASSERT_NE(text, nullptr) << width;
    std::u16string expected = std::u16string(size_t(width) - 1, u' ') + u"7|tail|1099511627776";
    EXPECT_EQ(std::u16string(text), expected) << width;
    wide_free(text);
  }
  char16_t* empty = text_format_alloc(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  wide_free(empty);
}

// Widths, precisions and counts far beyond any buffer: the arithmetic
// saturates instead of wrapping, the allocating form reports failure, and
// nothing is written past the capacity.
TEST(TextFormat, SizeArithmeticSaturates) {
  char16_t buf[8];
  for (char16_t& c : buf) c = u'#';
  // Width digits that overflow any size type.
  EXPECT_EQ(text_format(buf, 4, u"%99999999999999999999999999d", 5), kNoLimit);
  EXPECT_EQ(std::u16string(buf), u"   ");
  EXPECT_EQ(buf[4], u'#');
  EXPECT_EQ(text_format(buf, 4, u"%.99999999999999999999999999d", 5), kNoLimit);
  EXPECT_EQ(std::u16string(buf), u"000");
  EXPECT_EQ(text_format(buf, 4, u"%.99999999999999999999999999s", u"ab"), 2u);
  // The largest '*' width, several times: beyond 32 bits on 32-bit systems.
  size_t three = text_format(buf, 4, u"%*d%*d%*d", INT_MAX, 1, INT_MAX, 2, INT_MAX, 3);
  if (sizeof(size_t) == 4)
    EXPECT_EQ(three, kNoLimit);
  else
    EXPECT_EQ(three, 3 * size_t(INT_MAX));
  EXPECT_EQ(std::u16string(buf), u"   ");
  // A saturated count stays saturated; %n then stores the truncated value.
  int64_t n = 0;
  EXPECT_EQ(text_format(buf, 4, u"%99999999999999999999999s%s%n", u"a", u"b", &n), kNoLimit);
  EXPECT_EQ(uint64_t(n), uint64_t(kNoLimit));
  EXPECT_EQ(text_format_alloc(u"%99999999999999999999999s", u"a"), nullptr);
}

TEST(TextFormat, AllocationFailureGivesNull) {
  // Lengths that fit a size but whose allocation must fail: half the
  // address space on 64-bit systems, about 4 GB on 32-bit ones.
  const char16_t* format = sizeof(size_t) == 8 ? u"%4611686018427387903d" : u"%2147483000d";
  EXPECT_EQ(text_format_alloc(format, 1), nullptr);
  // Lengths whose byte size does not fit a size at all.
  const char16_t* huge = sizeof(size_t) == 8 ? u"%9300000000000000000d" : u"%2147483647d%2147483647d";
  EXPECT_EQ(text_format_alloc(huge, 1, 2), nullptr);
}

}  // namespace
