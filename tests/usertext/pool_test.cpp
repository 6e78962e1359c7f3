#include <cstdint>
#include <string>

#include "usertext/text_pool.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::AllocationGuard;
using usertext_test::S;
using usertext_test::UsertextFixture;

class UsertextPool : public UsertextFixture {};

TEST_F(UsertextPool, CopyOfNothingIsTheStaticEmptyTextAndAddsNoBlock) {
  const char16_t* a = text_pool_copy(&pool, u"ignored", 0);
  const char16_t* b = text_pool_copy(&pool, nullptr, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(*a, 0);
  EXPECT_EQ(pool, nullptr);
}

TEST_F(UsertextPool, CopiesTakeExactlyNUnitsAndPushAtTheHead) {
  const char16_t* first = text_pool_copy(&pool, u"abcdef", 3);
  EXPECT_EQ(S(first), u"abc");
  TextPool after_first = pool;
  const char16_t* second = text_pool_copy(&pool, u"xyz", 3);
  EXPECT_EQ(S(second), u"xyz");
  EXPECT_NE(pool, after_first);
  EXPECT_EQ(pool_blocks(), 2u);
  // The newest block is the head; its link leads to the older one.
  EXPECT_EQ(*reinterpret_cast<TextBlock**>(pool), after_first);
  // Texts stay intact while later blocks arrive.
  for (int i = 0; i < 200; ++i) text_pool_copy(&pool, u"filler", 6);
  EXPECT_EQ(S(first), u"abc");
  EXPECT_EQ(S(second), u"xyz");
  // Embedded zeros are copied as units, not treated as an end.
  const char16_t with_zero[] = {u'a', 0, u'b'};
  const char16_t* copied = text_pool_copy(&pool, with_zero, 3);
  EXPECT_EQ(copied[2], u'b');
  EXPECT_EQ(copied[3], 0);
}

TEST_F(UsertextPool, FreeEmptiesThePoolWhichCanBeReused) {
  text_pool_free(&pool);  // empty: nothing happens
  EXPECT_EQ(pool, nullptr);
  for (int i = 0; i < 50; ++i) text_pool_copy(&pool, u"abc", 3);
  EXPECT_EQ(pool_blocks(), 50u);
  text_pool_free(&pool);
  EXPECT_EQ(pool, nullptr);
  EXPECT_EQ(S(text_pool_copy(&pool, u"again", 5)), u"again");
  EXPECT_EQ(pool_blocks(), 1u);
}

TEST_F(UsertextPool, PrintfMatchesTheFormatterAcrossTheLocalBufferBoundary) {
  // 0, 1, 98, 99, 100, 101 and 1000 units: the local buffer holds up to 99.
  for (size_t n : {size_t(1), size_t(98), size_t(99), size_t(100), size_t(101), size_t(1000)}) {
    std::u16string text(n, u'q');
    text.back() = u'Z';
    size_t before = pool_blocks();
    const char16_t* out = text_pool_printf(&pool, u"%s", text.c_str());
    EXPECT_EQ(S(out), text) << n;
    EXPECT_EQ(pool_blocks(), before + 1) << n;
  }
  // Arguments are read the same in the second pass.
  std::u16string wide(120, u'w');
  EXPECT_EQ(S(text_pool_printf(&pool, u"%i-%s-%x", -7, wide.c_str(), 255u)), u"-7-" + wide + u"-ff");
}

TEST_F(UsertextPool, PrintfOfAnEmptyResultAddsNoBlock) {
  EXPECT_EQ(S(text_pool_printf(&pool, u"")), u"");
  EXPECT_EQ(S(text_pool_printf(&pool, u"%s", u"")), u"");
  EXPECT_EQ(S(text_pool_printf(&pool, nullptr)), u"");
  EXPECT_EQ(pool, nullptr);
}

TEST_F(UsertextPool, PrintfFormatsErrorCodes) {
  EXPECT_EQ(S(text_pool_printf(&pool, u"%i", 2)), u"2");
  EXPECT_EQ(S(text_pool_printf(&pool, u"%i", static_cast<int>(0xFFFFFFFFu))), u"-1");
  EXPECT_EQ(S(text_pool_printf(&pool, u"%u", 0xFFFFFFFFu)), u"4294967295");
}

TEST_F(UsertextPool, LackOfMemoryGivesTheErrorTextAndLeavesThePoolAlone) {
  text_pool_copy(&pool, u"kept", 4);
  TextPool head = pool;
  {
    AllocationGuard refuse_all(0);
    EXPECT_EQ(text_pool_copy(&pool, u"abc", 3), kUsertextError);
    EXPECT_EQ(text_pool_printf(&pool, u"%i", 5), kUsertextError);
    std::u16string big(300, u'x');
    EXPECT_EQ(text_pool_printf(&pool, u"%s", big.c_str()), kUsertextError);
    // The empty results need no memory at all.
    EXPECT_EQ(S(text_pool_copy(&pool, u"abc", 0)), u"");
  }
  EXPECT_EQ(pool, head);
  EXPECT_EQ(pool_blocks(), 1u);
}

TEST_F(UsertextPool, BlockSizesAreExactAndOverflowIsRefused) {
  AllocationGuard record;
  char16_t* block = text_pool_block(10);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(usertext_test::requests.size(), 1u);
  EXPECT_EQ(usertext_test::requests[0], sizeof(void*) + 11 * sizeof(char16_t));
  EXPECT_EQ(block[0], 0);
  text_pool_push(&pool, block);
  EXPECT_EQ(pool_blocks(), 1u);
  EXPECT_EQ(text_pool_block(SIZE_MAX), nullptr);
  EXPECT_EQ(text_pool_block(SIZE_MAX / 2), nullptr);
}

}  // namespace
