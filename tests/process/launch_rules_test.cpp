// The environment block order and the user split, natively and in the
// Windows trees alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "process/launch_rules.h"
#include "support/test_support.h"
#include "text/wide.h"

namespace {

using Entries = std::vector<std::u16string>;

// The entries of a block in order (stops at the empty entry that ends it).
Entries block_entries(const char16_t* block) {
  Entries entries;
  while (*block) {
    std::u16string entry(block);
    entries.push_back(entry);
    block += entry.size() + 1;
  }
  return entries;
}

struct Block {
  char16_t* block = nullptr;
  ~Block() { free(block); }
};

Entries sorted_by_block(const Entries& input, size_t* units = nullptr) {
  std::vector<const char16_t*> pointers;
  for (const std::u16string& e : input) pointers.push_back(e.c_str());
  pointers.push_back(nullptr);
  Block b;
  b.block = build_environment_block(pointers.data());
  EXPECT_NE(b.block, nullptr);
  if (!b.block) return {};
  Entries out = block_entries(b.block);
  size_t total = 0;
  for (const std::u16string& e : out) total += e.size() + 1;
  // A block always ends with two zeros: the last entry's terminator (or a
  // first zero when there is none) and the empty entry.
  if (out.empty()) EXPECT_EQ(b.block[1], 0);
  if (units) *units = total;
  return out;
}

// An independent statement of the order: the name with its '=' (a leading
// '=' belongs to the name), then the whole entry, each compared after
// lower-casing A-Z only, unit by unit, a shorter prefix first.
std::u16string lowered(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  }
  return s;
}

std::u16string key_of(const std::u16string& entry) {
  size_t eq = entry.find(u'=', entry.empty() ? 0 : 1);
  return eq == std::u16string::npos ? entry : entry.substr(0, eq + 1);
}

bool model_less(const std::u16string& a, const std::u16string& b) {
  return std::make_tuple(lowered(key_of(a)), lowered(a)) < std::make_tuple(lowered(key_of(b)), lowered(b));
}

int sign(int v) { return (v > 0) - (v < 0); }

struct OrderCase {
  const char* name;
  Entries input;
  Entries expected;
};

TEST(ProcessEnvironmentBlock, SortsLikeTheRuntimeComparison) {
  const OrderCase cases[] = {
      {"drive directories first, case ignored", {u"b=2", u"A=1", u"=C:=C:\\x"}, {u"=C:=C:\\x", u"A=1", u"b=2"}},
      {"the ending '=' compares as a character", {u"A=2", u"A1=1"}, {u"A1=1", u"A=2"}},
      {"names equal but for case: whole text", {u"PATH=x", u"Path=y", u"PATH=a"}, {u"PATH=a", u"PATH=x", u"Path=y"}},
      {"equal without case keep their order", {u"Path=X", u"PATH=x"}, {u"Path=X", u"PATH=x"}},
      {"equal without case keep their order, swapped", {u"PATH=x", u"Path=X"}, {u"PATH=x", u"Path=X"}},
      {"underscore before letters (lower-cased)",
       {u"a_=2", u"A=1", u"_X=1", u"B=1"},
       {u"_X=1", u"A=1", u"a_=2", u"B=1"}},
      {"bracket before Z once Z is lower-cased", {u"Z=1", u"[=2", u"z=0"}, {u"[=2", u"z=0", u"Z=1"}},
      {"no folding beyond ASCII",
       {u"\u00e4=1", u"\u00c4=2", u"\u0130=3", u"i=4"},
       {u"i=4", u"\u00c4=2", u"\u00e4=1", u"\u0130=3"}},
      {"entry without '=' is all key", {u"AB", u"A=1", u"A"}, {u"A", u"A=1", u"AB"}},
      {"empty entries are left out", {u"", u"B=1", u"", u"A=1", u""}, {u"A=1", u"B=1"}},
      {"a lone '=' entry", {u"A=1", u"=", u"==x"}, {u"=", u"==x", u"A=1"}},
      {"values do not decide between different names", {u"AB=0", u"A=9"}, {u"A=9", u"AB=0"}},
      {"reverse order input", {u"E=5", u"D=4", u"C=3", u"B=2", u"A=1"}, {u"A=1", u"B=2", u"C=3", u"D=4", u"E=5"}},
      {"surrogates and emoji compare by unit",
       {u"\U0001F600=1", u"\uFFFF=2", u"x=3"},
       {u"x=3", u"\U0001F600=1", u"\uFFFF=2"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sorted_by_block(c.input), c.expected);
  }
}

TEST(ProcessEnvironmentBlock, EmptyInputsGiveTwoZeros) {
  const char16_t* none[] = {nullptr};
  const char16_t* only_empty[] = {u"", u"", nullptr};
  for (const char16_t* const* input :
       {static_cast<const char16_t* const*>(none), static_cast<const char16_t* const*>(only_empty),
        static_cast<const char16_t* const*>(nullptr)}) {
    Block b;
    b.block = build_environment_block(input);
    ASSERT_NE(b.block, nullptr);
    EXPECT_EQ(b.block[0], 0);
    EXPECT_EQ(b.block[1], 0);
  }
}

TEST(ProcessEnvironmentBlock, LayoutIsEntriesThenOneMoreZero) {
  const char16_t* input[] = {u"B=two words", u"A=", u"C=\u00e9", nullptr};
  Block b;
  b.block = build_environment_block(input);
  ASSERT_NE(b.block, nullptr);
  const std::u16string expected(u"A=\0B=two words\0C=\u00e9\0\0", 20);
  EXPECT_EQ(std::u16string(b.block, expected.size()), expected);
}

// Random environments against the model: a stable sort by the same order.
TEST(ProcessEnvironmentBlock, MatchesAStableSortByTheModelOrder) {
  const char16_t alphabet[] = {u'A', u'a', u'B', u'b', u'Z', u'z', u'_',   u'=',   u'1',   u'[',  u'`',
                               u'{', u'~', u'@', u' ', 0xC4, 0xE4, 0xD800, 0xDC00, 0xFFFF, u'\\', u':'};
  for (uint64_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(seed);
    Entries input(random.below(24));
    for (std::u16string& entry : input) {
      size_t length = random.below(7);
      for (size_t k = 0; k < length; ++k) entry += alphabet[random.below(sizeof alphabet / sizeof alphabet[0])];
      if (random.below(4) != 0) {  // mostly real "name=value" entries
        std::u16string value;
        for (size_t k = random.below(4); k > 0; --k) value += alphabet[random.below(6)];
        entry += u"=" + value;
      }
    }
    Entries expected;
    for (const std::u16string& e : input) {
      if (!e.empty()) expected.push_back(e);
    }
    std::stable_sort(expected.begin(), expected.end(), model_less);
    ASSERT_EQ(sorted_by_block(input), expected);
  }
}

TEST(ProcessEnvironmentBlock, ComparisonIsAConsistentOrder) {
  const char16_t alphabet[] = {u'A', u'a', u'_', u'=', u'1', u'Z', u'[', 0xE4};
  TestRandom random(99);
  auto make = [&] {
    std::u16string s;
    for (size_t k = random.below(5); k > 0; --k) s += alphabet[random.below(8)];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    std::u16string a = make(), b = make();
    SCOPED_TRACE(escaped(a) + " / " + escaped(b));
    int ab = compare_environment_entries(a.c_str(), b.c_str());
    EXPECT_EQ(sign(ab), -sign(compare_environment_entries(b.c_str(), a.c_str())));
    int expected = model_less(a, b) ? -1 : model_less(b, a) ? 1 : 0;
    EXPECT_EQ(sign(ab), expected);
  }
  EXPECT_EQ(compare_environment_entries(nullptr, u""), 0);
  EXPECT_LT(compare_environment_entries(nullptr, u"A=1"), 0);
}

struct SplitCase {
  const char16_t* text;
  const char16_t* default_domain;
  const char16_t* user;
  const char16_t* domain;
};

TEST(ProcessSplitUser, DomainAndUserInEveryWriting) {
  const SplitCase cases[] = {
      {u"corp\\alice", u"HOST", u"alice", u"corp"},
      {u"corp/alice", u"HOST", u"alice", u"corp"},
      {u"alice@corp", u"HOST", u"alice", u"corp"},
      {u"alice", u"HOST", u"alice", u"HOST"},
      {u"alice", nullptr, u"alice", u""},
      {u"", u"HOST", u"", u"HOST"},
      {nullptr, u"HOST", u"", u"HOST"},
      // The backslash is looked for first, then the slash, then the at sign.
      {u"a/b\\c", u"HOST", u"c", u"a/b"},
      {u"a\\b/c", u"HOST", u"b/c", u"a"},
      {u"a@b\\c", u"HOST", u"c", u"a@b"},
      {u"a@b/c", u"HOST", u"c", u"a@b"},
      {u"a\\b\\c", u"HOST", u"b\\c", u"a"},
      {u"a@b@c", u"HOST", u"a", u"b@c"},
      {u"\\alice", u"HOST", u"alice", u""},
      {u"corp\\", u"HOST", u"", u"corp"},
      {u"@corp", u"HOST", u"", u"corp"},
      {u"\u00e9l\u00e8ve@\u00e9cole", u"HOST", u"\u00e9l\u00e8ve", u"\u00e9cole"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(escaped(c.text ? c.text : u"(null)"));
    char16_t* user = nullptr;
    char16_t* domain = nullptr;
    ASSERT_TRUE(split_user(c.text, c.default_domain, &user, &domain));
    ASSERT_NE(user, nullptr);
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(std::u16string(user), c.user);
    EXPECT_EQ(std::u16string(domain), c.domain);
    EXPECT_NE(static_cast<const void*>(domain), static_cast<const void*>(c.default_domain));  // a copy
    wide_free(user);
    wide_free(domain);
    // The default domain is needed exactly when the text names none.
    ASSERT_TRUE(split_user(c.text, u"?", &user, &domain));
    EXPECT_EQ(user_names_domain(c.text), std::u16string(domain) != u"?");
    wide_free(user);
    wide_free(domain);
  }
}

}  // namespace
