// ASCII-case-insensitive and exact comparisons, and the character classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "support/test_support.h"
#include "text/compare.h"
#include "text/wide.h"

namespace {

TEST(TextCompare, CharacterClasses) {
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    char16_t c = char16_t(u);
    bool space = u == 0x09 || u == 0x0A || u == 0x0B || u == 0x0D || u == 0x20;
    bool digit = u >= '0' && u <= '9';
    bool hex = digit || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
    ASSERT_EQ(is_space(c), space) << u;
    ASSERT_EQ(is_digit(c), digit) << u;
    ASSERT_EQ(is_hex_digit(c), hex) << u;
    char16_t lower = (u >= 'A' && u <= 'Z') ? char16_t(u + 32) : c;
    char16_t upper = (u >= 'a' && u <= 'z') ? char16_t(u - 32) : c;
    ASSERT_EQ(ascii_lower(c), lower) << u;
    ASSERT_EQ(ascii_upper(c), upper) << u;
  }
}

TEST(TextCompare, NocaseCases) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int nocase;
    int exact;
  };
  const Case cases[] = {
      {u"abc", u"ABC", 0, 1},
      {u"a_", u"aZ", 1, 1},
      {u"a_", u"az", 1, -1},
      {u"ab", u"abc", -1, -1},
      {u"abc", u"ab", 1, 1},
      {nullptr, u"", 0, 0},
      {nullptr, nullptr, 0, 0},
      {u"", u"a", -1, -1},
      {u"\u00E9", u"\u00C9", 1, 1},  // only ASCII letters fold
      {u"[", u"z", 1, -1},           // U+005B..U+0060 sort after letters once folded
      {u"`", u"Z", 1, 1},
      {u"@", u"a", -1, -1},
      {u"{", u"Z", 1, 1},
      {u"application_name", u"APPLICATION_NAME", 0, 1},
      {u"locale_decimal", u"locale_thous_sep", -1, -1},
      {u"\uFFFF", u"a", 1, 1},  // unsigned 16-bit order
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.a) + " / " + utf8(c.b));
    EXPECT_EQ(compare_nocase(c.a, c.b), c.nocase);
    EXPECT_EQ(compare_nocase(c.b, c.a), -c.nocase);
    EXPECT_EQ(compare_exact(c.a, c.b), c.exact);
    EXPECT_EQ(compare_exact(c.b, c.a), -c.exact);
  }
}

TEST(TextCompare, StartsWithNocase) {
  EXPECT_EQ(starts_with_nocase(u"Yesterday", u"yes"), 0);
  EXPECT_NE(starts_with_nocase(u"ye", u"yes"), 0);
  EXPECT_EQ(starts_with_nocase(u"YES", u"yes"), 0);
  EXPECT_EQ(starts_with_nocase(u"anything", u""), 0);
  EXPECT_EQ(starts_with_nocase(nullptr, u""), 0);
  EXPECT_LT(starts_with_nocase(nullptr, u"a"), 0);
  EXPECT_GT(starts_with_nocase(u"yet", u"yes"), 0);
  EXPECT_LT(starts_with_nocase(u"yea", u"yes"), 0);
}

// A model of the limited comparisons: each side ends at its length or its
// first 0 unit, whichever comes first; shorter sorts first.
std::u16string side(const char16_t* s, size_t length, bool fold) {
  std::u16string r;
  for (size_t i = 0; s && i < length && s[i]; ++i) r.push_back(fold ? ascii_upper(s[i]) : s[i]);
  return r;
}

int order(const std::u16string& a, const std::u16string& b) { return a == b ? 0 : (a < b ? -1 : 1); }

TEST(TextCompare, LimitedComparisonsAgreeWithModel) {
  TestRandom rnd(4242);
  const char16_t alphabet[] = {u'a', u'A', u'b', u'B', u'_', u'[', u'`', u'z', u'Z', 0, 0x00E9, 0xFFFF};
  for (int round = 0; round < 20000; ++round) {
    std::u16string a, b;
    for (uint32_t n = rnd.below(6); n > 0; --n) a.push_back(alphabet[rnd.below(12)]);
    for (uint32_t n = rnd.below(6); n > 0; --n) b.push_back(alphabet[rnd.below(12)]);
    // Exactly sized copies: units past a limit must never be read. Each
    // side is terminated only when its limit reaches past its units.
    size_t la = rnd.below(4) == 0 ? kNoLimit : rnd.below(uint32_t(a.size() + 1));
    size_t lb = rnd.below(4) == 0 ? kNoLimit : rnd.below(uint32_t(b.size() + 1));
    std::unique_ptr<char16_t[]> pa(new char16_t[a.size() + 1]);
    std::unique_ptr<char16_t[]> pb(new char16_t[b.size() + 1]);
    std::copy(a.begin(), a.end(), pa.get());
    std::copy(b.begin(), b.end(), pb.get());
    pa[a.size()] = 0;
    pb[b.size()] = 0;
    SCOPED_TRACE(escaped(a) + " / " + escaped(b));
    int nocase = compare_nocase_n(pa.get(), la, pb.get(), lb);
    ASSERT_EQ(nocase, order(side(pa.get(), la, true), side(pb.get(), lb, true)));
    ASSERT_EQ(nocase, -compare_nocase_n(pb.get(), lb, pa.get(), la));
    int exact = compare_exact_n(pa.get(), la, pb.get(), lb);
    ASSERT_EQ(exact, order(side(pa.get(), la, false), side(pb.get(), lb, false)));
    if (exact == 0) ASSERT_EQ(nocase, 0);
  }
}

}  // namespace
