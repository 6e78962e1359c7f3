// Wildcard matching ('*' any run, '?' one unit), exact and ASCII-case-
// insensitive, checked against two independent references.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/compare.h"

namespace {

constexpr size_t kStarLimit = 50;

// Reference 1: the backtracking matcher with a stack of remembered pairs, at
// most 50, written out directly (recursion stands for the stack). A star met
// while the text is not at its end remembers itself and the next text
// position; on a mismatch the latest pair resumes and the star takes one more
// unit. With 50 pairs pending a star matches the empty run only.
// Exponential in the number of stars: only for small inputs.
bool backtracking_match(const char16_t* p, const char16_t* t, size_t pending) {
  for (;;) {
    if (*p == u'*') {
      if (*t && pending < kStarLimit) {
        if (backtracking_match(p + 1, t, pending + 1)) return true;
        // Resume the pair: the star takes one more unit.
        return backtracking_match(p, t + 1, pending);
      }
      ++p;
      continue;
    }
    if (*p == 0) return *t == 0;
    if (*t == 0 || (*p != u'?' && *p != *t)) return false;
    ++p;
    ++t;
  }
}

// Reference 2: the textbook dynamic programme over whole pattern and text,
// without any limit.
bool table_match(const std::u16string& p, const std::u16string& t) {
  std::vector<std::vector<char>> m(p.size() + 1, std::vector<char>(t.size() + 1, 0));
  m[p.size()][t.size()] = 1;
  for (size_t i = p.size(); i-- > 0;) {
    for (size_t j = t.size() + 1; j-- > 0;) {
      if (p[i] == u'*')
        m[i][j] = m[i + 1][j] || (j < t.size() && m[i][j + 1]);
      else
        m[i][j] = j < t.size() && (p[i] == u'?' || p[i] == t[j]) && m[i + 1][j + 1];
    }
  }
  return m[0][0];
}

// The pattern as the limit sees it: stars after the 50th can only match the
// empty run, so they might as well be absent.
std::u16string without_late_stars(const std::u16string& p) {
  std::u16string r;
  size_t stars = 0;
  for (char16_t c : p)
    if (c != u'*' || ++stars <= kStarLimit) r.push_back(c);
  return r;
}

std::u16string upper(std::u16string s) {
  for (char16_t& c : s) c = ascii_upper(c);
  return s;
}

TEST(TextWildcard, Cases) {
  struct Case {
    const char16_t* pattern;
    const char16_t* text;
    bool exact;
    bool nocase;
  };
  const Case cases[] = {
      {u"a*c", u"abbbc", true, true},
      {u"a?c", u"ac", false, false},
      {u"*", u"", true, true},
      {u"A*", u"abc", false, true},
      {u"", u"", true, true},
      {nullptr, nullptr, true, true},
      {nullptr, u"", true, true},
      {u"", nullptr, true, true},
      {u"*", nullptr, true, true},
      {nullptr, u"a", false, false},
      {u"?", u"", false, false},
      {u"?", u"x", true, true},
      {u"??", u"x", false, false},
      {u"**", u"", true, true},
      {u"*?", u"", false, false},
      {u"*?", u"q", true, true},
      {u"a*", u"a", true, true},
      {u"*a", u"ba", true, true},
      {u"*a", u"ab", false, false},
      {u"*ab*ab", u"xabyabab", true, true},
      {u"a*b*c", u"aXbYbZc", true, true},
      {u"a*b*c", u"acb", false, false},
      {u"*.txt", u"notes.TXT", false, true},
      {u"*.TXT", u"notes.txt", false, true},
      {u"?*?", u"ab", true, true},
      {u"?*?", u"a", false, false},
      {u"abc", u"abcd", false, false},
      {u"abcd", u"abc", false, false},
      {u"a", u"A", false, true},
      {u"\u00E9", u"\u00C9", false, false},  // only ASCII letters fold
      {u"[", u"{", false, false},            // '[' is not a folded '{'
      {u"_*", u"_x", true, true},
      {u"*", u"*", true, true},
      {u"a\u2603*", u"a\u2603\u2603", true, true},
      {u"\\*", u"\\abc", true, true},  // no escape character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.pattern) + " ~ " + utf8(c.text));
    EXPECT_EQ(match_wildcard(c.pattern, c.text), c.exact);
    EXPECT_EQ(match_wildcard_nocase(c.pattern, c.text), c.nocase);
  }
}

TEST(TextWildcard, StarsAfterTheFiftiethMatchTheEmptyRunOnly) {
  // Fifty "*a" groups, then a star that needs to take "x": with the limit it
  // is the 51st star and cannot.
  std::u16string head;
  for (int i = 0; i < 50; ++i) head += u"*a";
  std::u16string text(50, u'a');
  EXPECT_TRUE(match_wildcard((head + u"c*d").c_str(), (text + u"cd").c_str()));
  EXPECT_FALSE(match_wildcard((head + u"c*d").c_str(), (text + u"cxd").c_str()));
  EXPECT_TRUE(table_match(head + u"c*d", text + u"cxd"));  // what an unlimited matcher says
  // With one group fewer the same star is the 50th and takes "x".
  std::u16string head49 = head.substr(2);
  EXPECT_TRUE(match_wildcard((head49 + u"c*d").c_str(), (text.substr(1) + u"cxd").c_str()));
  // Fifty-one leading stars: the first fifty still take anything.
  std::u16string stars(51, u'*');
  EXPECT_TRUE(match_wildcard((stars + u"b").c_str(), u"aaab"));
  EXPECT_TRUE(match_wildcard(stars.c_str(), u"anything"));
  EXPECT_TRUE(match_wildcard(stars.c_str(), u""));
}

TEST(TextWildcard, FailingManyStarPatternsEnd) {
  // A backtracking matcher that resumes earlier stars explores a number of
  // paths that grows exponentially with the stars; these must simply answer.
  std::u16string pattern;
  for (int i = 0; i < 40; ++i) pattern += u"*a";
  pattern += u"*b";
  std::u16string text(300, u'a');
  EXPECT_FALSE(match_wildcard(pattern.c_str(), text.c_str()));
  EXPECT_FALSE(match_wildcard_nocase(pattern.c_str(), text.c_str()));
  EXPECT_TRUE(match_wildcard(pattern.c_str(), (text + u"b").c_str()));
}

TEST(TextWildcard, AgreesWithReferencesOnRandomInputs) {
  TestRandom rnd(31337);
  const char16_t pattern_units[] = {u'*', u'*', u'?', u'a', u'b', u'A', u'B', u'_'};
  const char16_t text_units[] = {u'a', u'b', u'A', u'B', u'_', u'*', u'?'};
  for (int round = 0; round < 30000; ++round) {
    std::u16string p, t;
    for (uint32_t n = rnd.below(10); n > 0; --n) p.push_back(pattern_units[rnd.below(8)]);
    for (uint32_t n = rnd.below(10); n > 0; --n) t.push_back(text_units[rnd.below(7)]);
    SCOPED_TRACE(escaped(p) + " ~ " + escaped(t));

    bool got = match_wildcard(p.c_str(), t.c_str());
    ASSERT_EQ(got, backtracking_match(p.c_str(), t.c_str(), 0));
    ASSERT_EQ(got, table_match(p, t));
    bool got_nocase = match_wildcard_nocase(p.c_str(), t.c_str());
    ASSERT_EQ(got_nocase, match_wildcard(upper(p).c_str(), upper(t).c_str()));
    ASSERT_EQ(got_nocase, table_match(upper(p), upper(t)));
    if (got) ASSERT_TRUE(got_nocase);
  }
}

TEST(TextWildcard, AgreesWithReferencesAroundTheStarLimit) {
  // Forty-five to fifty-five stars with a few other units among them, on
  // short texts (the backtracking reference explores every star's run).
  TestRandom rnd(2718);
  const char16_t others[] = {u'a', u'b', u'?'};
  size_t limited = 0;
  for (int round = 0; round < 1500; ++round) {
    std::u16string p(45 + rnd.below(11), u'*');
    // Other units mostly near the fiftieth star, where the limit shows.
    for (uint32_t n = 1 + rnd.below(3); n > 0; --n) {
      uint32_t at = rnd.below(4) ? 44 + rnd.below(uint32_t(p.size() - 43)) : rnd.below(uint32_t(p.size() + 1));
      p.insert(p.begin() + at, others[rnd.below(3)]);
    }
    std::u16string t;
    for (uint32_t n = rnd.below(4); n > 0; --n) t.push_back(rnd.below(2) ? u'a' : u'b');
    SCOPED_TRACE(escaped(p) + " ~ " + escaped(t));

    bool got = match_wildcard(p.c_str(), t.c_str());
    ASSERT_EQ(got, backtracking_match(p.c_str(), t.c_str(), 0));
    ASSERT_EQ(got, table_match(without_late_stars(p), t));
    ASSERT_EQ(match_wildcard_nocase(p.c_str(), t.c_str()), got);  // no letters differ in case here
    // Without the limit a match can only be gained, and only past fifty stars.
    bool unlimited = table_match(p, t);
    if (got != unlimited) {
      ASSERT_TRUE(unlimited);
      ASSERT_GT(std::count(p.begin(), p.end(), u'*'), ptrdiff_t(kStarLimit));
      ++limited;
    }
  }
  EXPECT_GT(limited, 0u) << "no generated case reached the star limit";
}

TEST(TextWildcard, LongerRandomInputsAgreeWithTable) {
  // Longer texts than the backtracking reference can afford; the pattern is
  // built to match often by cutting pieces out of the text.
  TestRandom rnd(99);
  for (int round = 0; round < 3000; ++round) {
    std::u16string t;
    uint32_t tlen = rnd.below(60);
    for (uint32_t i = 0; i < tlen; ++i) t.push_back(char16_t(u'a' + rnd.below(3)));
    std::u16string p;
    for (size_t i = 0; i < t.size();) {
      switch (rnd.below(4)) {
        case 0:
          p += u'*';
          i += rnd.below(5);
          break;
        case 1:
          p += u'?';
          ++i;
          break;
        default:
          p += rnd.below(10) ? t[i] : u'c';
          ++i;
          break;
      }
    }
    if (rnd.below(2)) p += u'*';
    SCOPED_TRACE(escaped(p) + " ~ " + escaped(t));
    ASSERT_EQ(match_wildcard(p.c_str(), t.c_str()), table_match(without_late_stars(p), t));
  }
}

}  // namespace
