#include "text/utf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/system.h"
#include "text/system_native.h"
#include "text/wide.h"

namespace {

std::string bytes_of(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += char(b);
  return s;
}

// The whole conversion into a roomy buffer; checks the returned length.
std::u16string to_wide(const std::string& bytes) {
  std::vector<char16_t> buf(bytes.size() * 2 + 4, u'#');
  size_t n = utf8_to_wide(buf.data(), buf.size(), bytes.data(), bytes.size());
  std::u16string out(buf.data());
  EXPECT_EQ(n, out.size()) << hex_bytes(bytes);
  return out;
}

// Characters of a reference decoding, each as its UTF-16 units.
using Characters = std::vector<std::u16string>;

// An independent reading of the decoding rules: the lead byte's leading ones
// give the sequence length (2 to 6), the shortest form of each length has a
// known minimum, a sequence cut off by the end or by a 0 byte ends the text.
Characters reference_decode(const std::string& s) {
  Characters out;
  const std::u16string bad(1, char16_t(0xFFFF));
  size_t i = 0;
  while (i < s.size()) {
    uint8_t b = uint8_t(s[i]);
    if (b == 0) break;
    int ones = 0;
    while (ones < 8 && (b & (0x80 >> ones))) ++ones;
    if (ones == 0) {
      out.push_back(std::u16string(1, char16_t(b)));
      ++i;
      continue;
    }
    if (ones == 1 || ones > 6) {
      out.push_back(bad);
      ++i;
      continue;
    }
    size_t j = 1;
    bool broken = false;
    for (; j < size_t(ones); ++j) {
      if (i + j >= s.size()) return out;
      if ((uint8_t(s[i + j]) & 0xC0) != 0x80) {
        broken = true;
        break;
      }
    }
    if (broken) {
      out.push_back(bad);
      i += j;
      continue;
    }
    uint64_t v = b & (0x7F >> ones);
    for (j = 1; j < size_t(ones); ++j) v = (v << 6) | (uint8_t(s[i + j]) & 0x3F);
    static const uint64_t kMinimum[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    if (v < kMinimum[ones] || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) {
      out.push_back(bad);
    } else if (v >= 0x10000) {
      v -= 0x10000;
      out.push_back(std::u16string{char16_t(0xD800 + (v >> 10)), char16_t(0xDC00 + (v & 0x3FF))});
    } else {
      out.push_back(std::u16string(1, char16_t(v)));
    }
    i += size_t(ones);
  }
  return out;
}

// Encodes `v` in `length` bytes (overlong when longer than needed).
std::string encode_utf8_form(uint32_t v, int length) {
  if (length == 1) return std::string(1, char(v));
  std::string s(size_t(length), '\0');
  for (int k = length - 1; k > 0; --k) {
    s[size_t(k)] = char(0x80 | (v & 0x3F));
    v >>= 6;
  }
  s[0] = char((0xFF00 >> length) | v);
  return s;
}

std::string random_utf8ish(TestRandom& r) {
  std::string s;
  size_t pieces = r.below(12);
  for (size_t p = 0; p < pieces; ++p) {
    switch (r.below(7)) {
      case 0:  // any byte
        s += char(r.below(256));
        break;
      case 1:  // ASCII
        s += char(0x20 + r.below(0x5F));
        break;
      case 2: {  // a valid character of any length
        static const uint32_t kTop[4] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
        int length = 1 + int(r.below(4));
        uint32_t v = r.below(kTop[length - 1] + 1);
        s += encode_utf8_form(v, length);
        break;
      }
      case 3: {  // an overlong, surrogate or beyond-range form
        int length = 2 + int(r.below(5));
        uint32_t v = r.below(3) == 0 ? 0xD800 + r.below(0x800) : uint32_t(r.next() & ((1ull << (5 * length + 1)) - 1));
        s += encode_utf8_form(v, length);
        break;
      }
      case 4: {  // a valid sequence cut short
        std::string full = encode_utf8_form(0x800 + r.below(0xF000), 3);
        s += full.substr(0, 1 + r.below(2));
        break;
      }
      case 5:  // continuation bytes or FE/FF
        s += char(r.below(2) ? 0x80 + r.below(0x40) : 0xFE + r.below(2));
        break;
      default:
        if (r.below(8) == 0) s += '\0';
        break;
    }
  }
  return s;
}

TEST(TextUtf8, KnownSequences) {
  struct Row {
    std::string bytes;
    std::u16string expected;
  } rows[] = {
      {bytes_of({0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}), u"A\u00E9\u20AC\U0001F600"},
      {bytes_of({0xC0, 0x80}), u"\uFFFF"},
      {bytes_of({0xE0, 0x80, 0x80}), u"\uFFFF"},
      {bytes_of({0xED, 0xA0, 0x80}), u"\uFFFF"},
      {bytes_of({0xEF, 0xBF, 0xBF}), u"\uFFFF"},
      {bytes_of({0xEE, 0x80, 0x80}), u"\uE000"},
      {bytes_of({0x80, 0x41}),
       u"\uFFFF"
       u"A"},
      {bytes_of({0xC3, 0x41}),
       u"\uFFFF"
       u"A"},
      {bytes_of({0xFE}), u"\uFFFF"},
      {bytes_of({0xFF}), u"\uFFFF"},
      {bytes_of({0xF4, 0x90, 0x80, 0x80}), u"\uFFFF"},
      {bytes_of({0xF8, 0x88, 0x80, 0x80, 0x80}), u"\uFFFF"},
      {bytes_of({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}), u"\uFFFF"},
      {bytes_of({0xF8, 0x87, 0xBF, 0xBF, 0xBF}), u"\uFFFF"},  // overlong five-byte form
      {bytes_of({0xF4, 0x80, 0x80, 0x80}), u"\U00100000"},
      {bytes_of({0xF4, 0x8F, 0xBF, 0xBF}), u"\U0010FFFF"},
      {bytes_of({0xF0, 0x90, 0x80, 0x80}), u"\U00010000"},
      {bytes_of({0x41, 0xE2, 0x82}), u"A"},
      {bytes_of({0x41, 0x00, 0x42}), u"A"},
      {bytes_of({0xC3, 0x00, 0x42}), u"\uFFFF"},  // the 0 byte is read again and ends the text
      {bytes_of({0xDF, 0xBF}), u"\u07FF"},
      {bytes_of({0xC2, 0x80}), u"\u0080"},
  };
  for (const Row& row : rows) EXPECT_EQ(escaped(to_wide(row.bytes)), escaped(row.expected)) << hex_bytes(row.bytes);
}

TEST(TextUtf8, NextReportsMarkersAndPositions) {
  std::string s = bytes_of({0xC3, 0x41, 0xE2, 0x82, 0xAC, 0x80});
  size_t pos = 0;
  EXPECT_EQ(utf8_next(s.data(), s.size(), &pos), kInvalidCodePoint);
  EXPECT_EQ(pos, 1u);  // the 41 stays for the next call
  EXPECT_EQ(utf8_next(s.data(), s.size(), &pos), 0x41u);
  EXPECT_EQ(utf8_next(s.data(), s.size(), &pos), 0x20ACu);
  EXPECT_EQ(pos, 5u);
  EXPECT_EQ(utf8_next(s.data(), s.size(), &pos), kInvalidCodePoint);
  EXPECT_EQ(utf8_next(s.data(), s.size(), &pos), 0u);
  EXPECT_EQ(pos, 6u);
  // A rejected sequence stays consumed; a six-byte value above U+10FFFF is
  // returned as it is.
  std::string big = bytes_of({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF});
  pos = 0;
  EXPECT_EQ(utf8_next(big.data(), big.size(), &pos), 0x7FFFFFFFu);
  EXPECT_EQ(pos, 6u);
}

TEST(TextUtf8, CapacityKeepsWholeCharacters) {
  char16_t buf[8];
  for (char16_t& c : buf) c = u'#';
  EXPECT_EQ(utf8_to_wide(buf, 3, "abc", 3), 3u);
  EXPECT_EQ(std::u16string(buf), u"ab");
  EXPECT_EQ(utf8_to_wide(buf, 1, "abc", 3), 3u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(utf8_to_wide(nullptr, 5, "abc", 3), 3u);
  EXPECT_EQ(utf8_to_wide(buf, 8, nullptr, 3), 0u);
  EXPECT_EQ(buf[0], 0);
  buf[0] = u'#';
  EXPECT_EQ(utf8_to_wide(buf, 0, "abc", 3), 3u);
  EXPECT_EQ(buf[0], u'#');
  // A pair that would take the last unit is dropped with everything after.
  std::string s = bytes_of({0x61, 0xF0, 0x9F, 0x98, 0x80, 0x62});
  EXPECT_EQ(utf8_to_wide(buf, 3, s.data(), s.size()), 4u);
  EXPECT_EQ(std::u16string(buf), u"a");
  EXPECT_EQ(utf8_to_wide(buf, 4, s.data(), s.size()), 4u);
  EXPECT_EQ(escaped(buf), escaped(u"a\U0001F600"));
  EXPECT_EQ(utf8_to_wide_unbounded(buf, s.data(), s.size()), 4u);
  EXPECT_EQ(escaped(buf), escaped(u"a\U0001F600b"));
}

// Random byte strings, valid and invalid, against the reference decoder,
// at every capacity: the full length is always returned and the buffer
// holds the longest run of whole characters that leaves room for the
// terminator, and nothing is written beyond the capacity.
TEST(TextUtf8, MatchesReferenceDecoderAtEveryCapacity) {
  TestRandom r(20240601);
  for (int round = 0; round < 4000; ++round) {
    std::string s = random_utf8ish(r);
    SCOPED_TRACE(hex_bytes(s));
    Characters chars = reference_decode(s);
    std::u16string full;
    for (const auto& c : chars) full += c;
    ASSERT_EQ(escaped(to_wide(s)), escaped(full));
    for (size_t capacity = 0; capacity <= full.size() + 1; ++capacity) {
      std::vector<char16_t> buf(capacity + 2, u'#');
      size_t n = utf8_to_wide(buf.data(), capacity, s.data(), s.size());
      ASSERT_EQ(n, full.size());
      EXPECT_EQ(buf[capacity], u'#');
      if (capacity == 0) {
        EXPECT_EQ(buf[0], u'#');
        continue;
      }
      std::u16string expected;
      for (const auto& c : chars) {
        if (expected.size() + c.size() >= capacity) break;
        expected += c;
      }
      ASSERT_EQ(escaped(std::u16string(buf.data())), escaped(expected)) << "capacity " << capacity;
    }
  }
}

TEST(TextUtf16, NextTable) {
  struct Row {
    std::u16string units;
    size_t length;
    uint32_t code_point;
    size_t position_after;
  } rows[] = {
      {u"a", 1, 0x61, 1},
      {u"", 0, 0, 0},
      {std::u16string(1, char16_t(0xDC00)) + u"a", 2, kInvalidCodePoint, 1},
      {std::u16string(1, char16_t(0xD800)) + u"a", 2, kInvalidCodePoint, 1},  // stays on the 'a'
      {std::u16string(1, char16_t(0xD800)), 1, 0, 1},                         // cut off by the end
      {u"\U0001F600", 2, 0x1F600, 2},
      {u"\U0010FFFF", 2, 0x10FFFF, 2},
      {u"\U00010000", 2, 0x10000, 2},
      {u"\uFFFF", 1, 0xFFFF, 1},
      {std::u16string(1, char16_t(0)), 1, 0, 1},
  };
  for (const Row& row : rows) {
    size_t pos = 0;
    EXPECT_EQ(utf16_next(row.units.data(), row.length, &pos), row.code_point) << escaped(row.units);
    EXPECT_EQ(pos, row.position_after) << escaped(row.units);
  }
}

TEST(TextUtf16, PutCountsWhatDoesNotFit) {
  char16_t buf[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
  size_t pos = 4;
  utf16_put(buf, 5, &pos, 0x1F600);
  EXPECT_EQ(pos, 6u);
  EXPECT_EQ(buf[4], u'#');
  pos = 3;
  utf16_put(buf, 5, &pos, 0x1F600);
  EXPECT_EQ(pos, 5u);
  EXPECT_EQ(buf[3], 0xD83D);
  EXPECT_EQ(buf[4], 0xDE00);
  pos = 0;
  utf16_put(buf, 8, &pos, 0x110000);
  utf16_put(buf, 8, &pos, kInvalidCodePoint);
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(buf[0], 0xFFFF);
  EXPECT_EQ(buf[1], 0xFFFF);
  utf16_put(nullptr, 0, &pos, u'x');
  EXPECT_EQ(pos, 3u);
  // The count saturates instead of wrapping to a small position.
  pos = kNoLimit - 1;
  utf16_put(nullptr, 0, &pos, 0x1F600);
  EXPECT_EQ(pos, kNoLimit);
  utf16_put(nullptr, 0, &pos, u'x');
  EXPECT_EQ(pos, kNoLimit);
}

// Any code point sequence put and read back is unchanged; any unit sequence
// read and put again is unchanged except that lone surrogates become U+FFFF
// and a high surrogate at the very end is dropped.
TEST(TextUtf16, RoundTrips) {
  TestRandom r(77);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint32_t> cps;
    size_t count = r.below(20);
    for (size_t i = 0; i < count; ++i) {
      uint32_t cp;
      do {
        cp = r.below(4) == 0 ? 1 + r.below(0xFFFF) : 0x10000 + r.below(0x100000);
      } while (cp >= 0xD800 && cp <= 0xDFFF);
      cps.push_back(cp);
    }
    std::vector<char16_t> buf(count * 2 + 1);
    size_t pos = 0;
    for (uint32_t cp : cps) utf16_put(buf.data(), buf.size(), &pos, cp);
    size_t read = 0;
    for (uint32_t cp : cps) ASSERT_EQ(utf16_next(buf.data(), pos, &read), cp);
    EXPECT_EQ(utf16_next(buf.data(), pos, &read), 0u);
    EXPECT_EQ(read, pos);

    std::u16string units;
    size_t length = r.below(16);
    for (size_t i = 0; i < length; ++i) {
      uint32_t kind = r.below(4);
      units += char16_t(kind == 0   ? 0xD800 + r.below(0x400)
                        : kind == 1 ? 0xDC00 + r.below(0x400)
                                    : 1 + r.below(0xFFFF));
    }
    std::u16string expected;
    for (size_t i = 0; i < units.size(); ++i) {
      char16_t u = units[i];
      bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
      if (high && i + 1 == units.size()) break;
      if (high && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        expected += u;
        expected += units[++i];
      } else {
        expected += (high || low) ? char16_t(0xFFFF) : u;
      }
    }
    std::vector<char16_t> out(units.size() + 1);
    size_t in = 0, put = 0;
    for (uint32_t cp; (cp = utf16_next(units.data(), units.size(), &in)) != 0;)
      utf16_put(out.data(), out.size(), &put, cp);
    ASSERT_EQ(escaped(std::u16string(out.data(), put)), escaped(expected)) << escaped(units);
  }
}

std::string narrow_of(const char* buf) { return std::string(buf); }

// UTF-8 behaves the same everywhere: the stand-in natively, the system
// under Windows. Flags and default-character arguments are refused there,
// so this is also what an ANSI code page of UTF-8 gives.
TEST(TextCodepage, Utf8PageConvertsEveryBmpCharacter) {
  char buf[32];
  EXPECT_EQ(wide_to_codepage(65001, buf, sizeof buf, u"a\u00E9\u20AC\uFFFD", kNoLimit), 9u);
  EXPECT_EQ(hex_bytes(narrow_of(buf)), hex_bytes("a\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBD"));
  // Beyond the BMP, and lone surrogates, give 0x7F.
  EXPECT_EQ(wide_to_codepage(65001, buf, sizeof buf, u"\U0001F600x", kNoLimit), 2u);
  EXPECT_EQ(narrow_of(buf), "\x7Fx");
  const char16_t lone[] = {0xDC00, u'y', 0xD800, u'z', 0};
  EXPECT_EQ(wide_to_codepage(65001, buf, sizeof buf, lone, kNoLimit), 4u);
  EXPECT_EQ(narrow_of(buf), "\x7Fy\x7Fz");
  // Cut after the last whole character that leaves room for the terminator.
  for (size_t capacity = 0; capacity <= 8; ++capacity) {
    char out[10];
    memset(out, '#', sizeof out);
    EXPECT_EQ(wide_to_codepage(65001, out, capacity, u"a\u20ACb\u00E9", kNoLimit), 7u);
    static const char* kExpected[] = {"",
                                      "",
                                      "a",
                                      "a",
                                      "a",
                                      "a\xE2\x82\xAC",
                                      "a\xE2\x82\xAC"
                                      "b",
                                      "a\xE2\x82\xAC"
                                      "b",
                                      "a\xE2\x82\xAC"
                                      "b\xC3\xA9"};
    if (capacity == 0) {
      EXPECT_EQ(out[0], '#');
    } else {
      EXPECT_EQ(hex_bytes(narrow_of(out)), hex_bytes(kExpected[capacity])) << capacity;
      EXPECT_EQ(out[capacity], '#') << capacity;
    }
  }
}

TEST(TextCodepage, NullAndLimits) {
  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(wide_to_codepage(65001, buf, sizeof buf, nullptr, 5), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(wide_to_codepage(65001, nullptr, 8, u"abc", kNoLimit), 3u);
  EXPECT_EQ(wide_to_codepage(65001, buf, sizeof buf, u"abcdef", 2), 2u);
  EXPECT_EQ(narrow_of(buf), "ab");
  EXPECT_EQ(wide_to_ansi(buf, sizeof buf, u"abc"), 3u);
  EXPECT_EQ(narrow_of(buf), "abc");
  EXPECT_EQ(wide_to_ansi(nullptr, 0, u"a\u4E00\U0001F600"), wide_to_codepage(0, nullptr, 0, u"a\u4E00\U0001F600", 4));
  char big[300];
  std::u16string long_text(250, u'q');
  EXPECT_EQ(wide_to_ansi_unbounded(big, long_text.c_str()), 250u);
  EXPECT_EQ(narrow_of(big), std::string(250, 'q'));
}

#ifndef _WIN32
// Expected bytes of one code point in the stand-in page (an independent
// statement of its table).
std::string stand_in_bytes(uint32_t cp, bool round_trip_mode) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return std::string(1, char(cp));
  if (cp >= 0x4E00 && cp <= 0x4EFF) return {char(0x81 + ((cp - 0x4E00) >> 7)), char(0x80 + (cp & 0x7F))};
  (void)round_trip_mode;  // best fit is refused in both modes
  return "\x7F";
}

TEST(TextCodepage, StandInPageSizesSingleDoubleAndUnmappable) {
  char buf[32];
  // a, e-acute, a CJK character (two bytes), a best-fit candidate, an
  // unmappable one, a supplementary one, the end.
  const char16_t* text = u"a\u00E9\u4E00\u0101\u2603\U0001F600";
  for (uint32_t page : {0u, kStandInCodePage, kStandInCodePageNoFlags}) {
    EXPECT_EQ(wide_to_codepage(page, buf, sizeof buf, text, kNoLimit), 7u) << page;
    EXPECT_EQ(hex_bytes(narrow_of(buf)), hex_bytes("a\xE9\x81\x80\x7F\x7F\x7F")) << page;
  }
  EXPECT_EQ(system_ansi_code_page(), kStandInCodePage);
  // A double-byte character is never split: capacity 3 after "a" leaves
  // room for one more byte only.
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(wide_to_codepage(kStandInCodePage, buf, 3, u"a\u4E00", kNoLimit), 3u);
  EXPECT_EQ(narrow_of(buf), "a");
  EXPECT_EQ(buf[2], '#');
  EXPECT_EQ(wide_to_codepage(kStandInCodePage, buf, 4, u"a\u4E00b", kNoLimit), 4u);
  EXPECT_EQ(hex_bytes(narrow_of(buf)), hex_bytes("a\x81\x80"));
  // Once a character did not fit, a later smaller one is not copied either.
  EXPECT_EQ(wide_to_codepage(kStandInCodePage, buf, 3, u"a\u4E01b", kNoLimit), 4u);
  EXPECT_EQ(narrow_of(buf), "a");
  // An unknown code page converts nothing.
  EXPECT_EQ(wide_to_codepage(12345, buf, sizeof buf, u"ab", kNoLimit), 2u);
  EXPECT_EQ(narrow_of(buf), "\x7F\x7F");
}

// Random text from the stand-in's alphabet at every capacity, in the page
// that takes the no-best-fit flag and in the one that refuses it (where the
// result must decode back, double-byte characters included).
TEST(TextCodepage, StandInSizingProperty) {
  TestRandom r(4242);
  static const uint32_t kPool[][2] = {{0x20, 0x7E},     {0xA0, 0xFF}, {0x4E00, 0x4EFF},  {0x100, 0x17F},
                                      {0x2000, 0x2FFF}, {0x80, 0x9F}, {0x1F600, 0x1F64F}};
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint32_t> cps;
    size_t count = r.below(12);
    for (size_t i = 0; i < count; ++i) {
      const uint32_t* range = kPool[r.below(7)];
      cps.push_back(range[0] + r.below(range[1] - range[0] + 1));
    }
    std::u16string text;
    std::vector<std::string> expected_chars;
    for (uint32_t cp : cps) {
      if (cp >= 0x10000) {
        text += char16_t(0xD800 + ((cp - 0x10000) >> 10));
        text += char16_t(0xDC00 + (cp & 0x3FF));
      } else {
        text += char16_t(cp);
      }
      expected_chars.push_back(stand_in_bytes(cp, false));
    }
    std::string full;
    for (const auto& c : expected_chars) full += c;
    for (uint32_t page : {kStandInCodePage, kStandInCodePageNoFlags}) {
      for (size_t capacity = 0; capacity <= full.size() + 1; ++capacity) {
        std::vector<char> buf(capacity + 1, '#');
        ASSERT_EQ(wide_to_codepage(page, buf.data(), capacity, text.c_str(), kNoLimit), full.size());
        ASSERT_EQ(buf[capacity], '#');
        if (capacity == 0) continue;
        std::string expected;
        for (const auto& c : expected_chars) {
          if (expected.size() + c.size() >= capacity) break;
          expected += c;
        }
        ASSERT_EQ(hex_bytes(narrow_of(buf.data())), hex_bytes(expected)) << "page " << page << " capacity " << capacity;
      }
    }
  }
}
#endif

}  // namespace
