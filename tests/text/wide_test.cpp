#include "text/wide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "text/checked_size.h"

namespace {

std::u16string S(const char16_t* p) { return p ? std::u16string(p) : std::u16string(); }

TEST(Wide, LengthsTreatNullAsEmptyAndHonourLimits) {
  EXPECT_EQ(wide_length(nullptr), 0u);
  EXPECT_EQ(wide_length(u"abc"), 3u);
  EXPECT_EQ(wide_length_max(u"abc", 2), 2u);
  EXPECT_EQ(wide_length_max(u"abc", 0), 0u);
  EXPECT_EQ(wide_length_max(u"abc", kNoLimit), wide_length(u"abc"));
  // Units beyond the limit are never read: an unterminated array is fine.
  const char16_t unterminated[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(wide_length_max(unterminated, 3), 3u);
  EXPECT_EQ(*wide_or_empty(nullptr), 0);
}

TEST(Wide, CopyMaxCapacityEdges) {
  char16_t buf[4] = {u'q', u'q', u'q', u'q'};
  wide_copy_max(buf, 0, u"abc");
  EXPECT_EQ(buf[0], u'q');
  wide_copy_max(buf, 1, u"abc");
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], u'q');
  wide_copy_max(buf, 4, u"abcdef");
  EXPECT_EQ(S(buf), u"abc");
  wide_copy_max(buf, 4, nullptr);
  EXPECT_EQ(S(buf), u"");
}

TEST(Wide, AppendMaxStopsAtCapacity) {
  std::u16string big(998, u'a');
  char16_t buf[1000];
  wide_copy(buf, big.c_str());
  wide_append_max(buf, 1000, u"XYZ");
  EXPECT_EQ(buf[998], u'X');
  EXPECT_EQ(buf[999], 0);
  // No terminator in the first capacity-1 units: one is placed at the end.
  char16_t raw[5] = {u'a', u'b', u'c', u'd', u'e'};
  wide_append_max(raw, 5, u"zz");
  EXPECT_EQ(raw[4], 0);
  EXPECT_EQ(S(raw), u"abcd");
}

TEST(Wide, MoveOverlapsBothWays) {
  for (int shift : {-3, -1, 1, 3}) {
    char16_t buf[16], expected[16], tmp[16];
    for (int i = 0; i < 16; ++i) buf[i] = expected[i] = char16_t(u'a' + i);
    int src = 5, dst = 5 + shift, n = 8;
    std::memcpy(tmp, buf + src, n * sizeof(char16_t));
    std::memcpy(expected + dst, tmp, n * sizeof(char16_t));
    wide_move(buf + dst, buf + src, n);
    EXPECT_EQ(std::u16string(buf, 16), std::u16string(expected, 16)) << "shift " << shift;
  }
}

TEST(Wide, DupAndAlloc) {
  EXPECT_EQ(wide_dup(nullptr), nullptr);
  char16_t* e = wide_dup(u"");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e[0], 0);
  wide_free(e);
  char16_t* d = wide_dup_n(u"ab\0cd", 5);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::u16string(d, 6), std::u16string(u"ab\0cd\0", 6));
  wide_free(d);
  char16_t* out = reinterpret_cast<char16_t*>(1);
  EXPECT_EQ(wide_alloc(&out, 0), nullptr);
  EXPECT_EQ(out, nullptr);
  wide_free(nullptr);
}

TEST(Wide, SizeArithmeticNeverWraps) {
  // The all-ones count, and counts whose byte size overflows, are refused
  // rather than turned into a short allocation.
  EXPECT_EQ(wide_dup_n(u"a", kNoLimit), nullptr);
  EXPECT_EQ(wide_dup_n(u"a", kNoLimit / 2), nullptr);
  EXPECT_EQ(wide_alloc(nullptr, kNoLimit), nullptr);
  EXPECT_EQ(wide_alloc(nullptr, kNoLimit / 2 + 1), nullptr);
  WideBuilder b{};
  wide_builder_append_n(&b, u"abc", 3);
  wide_builder_append_n(&b, u"x", kNoLimit - 1);
  EXPECT_EQ(b.length, 3u);
  EXPECT_FALSE(wide_builder_reserve(&b, kNoLimit - 5));
  EXPECT_EQ(S(wide_builder_text(&b)), u"abc");
  wide_builder_free(&b);
}

TEST(CheckedSize, ReportsExactlyTheResultsThatDoNotFit) {
  const size_t kMax = SIZE_MAX;
  struct Case {
    size_t a, b;
    bool sum_fits, product_fits;
  } cases[] = {
      {0, 0, true, true},
      {kMax, 0, true, true},
      {0, kMax, true, true},
      {kMax, 1, false, true},
      {1, kMax, false, true},
      {kMax - 1, 1, true, true},
      {kMax / 2, kMax / 2 + 1, true, false},
      {kMax / 2 + 1, kMax / 2 + 1, false, false},
      {kMax / 2, 2, true, true},
      {kMax / 2 + 1, 2, true, false},
      {kMax / 3, 3, true, true},
      {kMax, kMax, false, false},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
    size_t sum = 7, product = 7;
    EXPECT_EQ(checked_add(c.a, c.b, &sum), c.sum_fits);
    EXPECT_EQ(sum, c.sum_fits ? c.a + c.b : 7u);
    EXPECT_EQ(saturating_add(c.a, c.b), c.sum_fits ? c.a + c.b : kMax);
    EXPECT_EQ(checked_multiply(c.a, c.b, &product), c.product_fits);
    EXPECT_EQ(product, c.product_fits ? c.a * c.b : 7u);
  }
  size_t bytes = 0;
  EXPECT_TRUE(checked_unit_bytes(3, 8, &bytes));
  EXPECT_EQ(bytes, 14u);
  EXPECT_FALSE(checked_unit_bytes(kMax / 2, 2, &bytes));
  EXPECT_FALSE(checked_unit_bytes(kMax / 2 + 1, 0, &bytes));
}

TEST(Wide, NarrowFamily) {
  EXPECT_EQ(narrow_length(nullptr), 0u);
  EXPECT_EQ(narrow_length("abc"), 3u);
  char buf[10] = "abcdef";
  narrow_copy(buf + 2, buf);  // overlapping, upwards
  EXPECT_STREQ(buf, "ababcdef");
  char* out = nullptr;
  EXPECT_EQ(narrow_alloc(&out, 0), nullptr);
  char* n = narrow_alloc(&out, 4);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(out, n);
  EXPECT_EQ(n[0], 0);
  narrow_free(n);
}

TEST(WideBuilder, BorrowsFirstPieceAndCopiesOnSecond) {
  std::u16string first = u"hello";
  WideBuilder b{};
  EXPECT_EQ(wide_builder_text(&b), nullptr);
  wide_builder_append(&b, first.c_str());
  EXPECT_EQ(b.borrowed, first.c_str());
  EXPECT_EQ(b.owned, nullptr);
  wide_builder_append(&b, u", world");
  EXPECT_EQ(b.borrowed, nullptr);
  EXPECT_EQ(S(wide_builder_text(&b)), u"hello, world");
  wide_builder_free(&b);
}

TEST(WideBuilder, TextOfBorrowedOnlyMakesOwnedCopy) {
  std::u16string first = u"abc";
  WideBuilder b{};
  wide_builder_append(&b, first.c_str());
  const char16_t* t = wide_builder_text(&b);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(t, first.c_str());
  EXPECT_EQ(S(t), u"abc");
  EXPECT_EQ(b.capacity, 4u);
  wide_builder_free(&b);
}

TEST(WideBuilder, ManyAppendsMatchStdString) {
  WideBuilder b{};
  std::u16string model;
  int own_text_growths = 0;
  for (int i = 0; i < 500; ++i) {
    std::u16string piece(size_t(i % 7), char16_t(u'a' + i % 26));
    wide_builder_append_n(&b, piece.data(), piece.size());
    model += piece;
    if (i % 9 == 4) {
      // A piece of the builder's own text, which the growth may move.
      size_t from = model.size() / 3;
      size_t n = std::min<size_t>(model.size() - from, 300);
      size_t capacity = b.capacity;
      wide_builder_append_n(&b, b.owned + from, n);
      model += model.substr(from, n);
      if (b.capacity != capacity) ++own_text_growths;
    }
    ASSERT_EQ(b.length, model.size());
  }
  EXPECT_EQ(S(wide_builder_text(&b)), model);
  EXPECT_GT(own_text_growths, 0);
  wide_builder_free(&b);
}

}  // namespace
