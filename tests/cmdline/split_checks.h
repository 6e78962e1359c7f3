// Reading a split result back as a vector while checking the block's shape.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"

using Args = std::vector<std::u16string>;

// The block holds count + 1 pointers (the last null), and every string lies
// in the one allocation right after the array, in order, without gaps. The
// block is freed here with one free().
inline Args take_arguments(char16_t** block, int32_t count) {
  Args out;
  if (!block) {
    EXPECT_EQ(count, 0);
    return out;
  }
  const char16_t* expected = reinterpret_cast<const char16_t*>(block + count + 1);
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(block[i], expected) << "element " << i << " is not where the block places it";
    if (block[i] != expected) break;
    out.emplace_back(block[i]);
    expected += out.back().size() + 1;
  }
  EXPECT_EQ(block[count], nullptr);
  free(block);
  return out;
}
