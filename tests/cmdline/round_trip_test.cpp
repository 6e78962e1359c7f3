// Splitting a joined command line gives back the vector, element for
// element. Element 0 is generated without quotes: it is taken literally up
// to the next quote, so no command line can carry a quote in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/quote.h"
#include "cmdline/split.h"
#include "cmdline/split_checks.h"
#include "support/test_support.h"
#include "text/wide.h"

namespace {

#ifdef _WIN32
// Under Wine the real splitter is slower and each case crosses into it.
constexpr int kVectors = 10000;
#else
constexpr int kVectors = 1000000;
#endif

// Units that matter to the rules, weighted towards the troublesome ones.
const char16_t kUnits[32] = {u'a',   u'Z',   u'0',   u' ',   u' ',   u'\t',  u'\t', u'\\', u'\\', u'\\',  u'\\',
                             u'"',   u'"',   u'"',   u'\n',  u'\r',  u'\v',  u'=',  u'^',  u'%',  0x00E9, 0x3000,
                             0x00A0, 0xFFFF, 0xD83D, 0xDE00, 0xD800, 0xDFFF, u'x',  u'-',  u'/',  u'.'};

// Writes one random argument at `out` (terminator included) and returns the
// position after it. Random bits are drawn 64 at a time: this test runs a
// million rounds under the sanitizers.
char16_t* random_argument(TestRandom& r, bool program, char16_t* out) {
  uint64_t bits = r.next();
  uint32_t length = (bits & 3) == 0 ? 0 : uint32_t((bits >> 2) % 11);
  bits >>= 8;
  int left = 56 / 8;
  for (uint32_t n = 0; n < length; ++n) {
    if (left-- == 0) {
      bits = r.next();
      left = 64 / 8 - 1;
    }
    uint32_t pick = bits & 0xFF;
    bits >>= 8;
    if (pick < 40) {
      // A run of backslashes, often in front of a quote or at the end.
      for (uint32_t k = 0; k <= pick % 4; ++k) *out++ = u'\\';
      if (!program && (pick & 4)) *out++ = u'"';
    } else {
      char16_t c = kUnits[pick % 32];
      *out++ = (program && c == u'"') ? u'\'' : c;
    }
  }
  *out++ = 0;
  return out;
}

bool same_text(const char16_t* a, const char16_t* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

TEST(CmdlineRoundTrip, SplitGivesBackTheJoinedVector) {
  TestRandom r(20240611);
  char16_t pool[8 * 64];
  const char16_t* argv[8];
  int checked = 0;
  for (int round = 0; round < kVectors; ++round) {
    uint32_t count = r.below(6) + 1;
    char16_t* at = pool;
    for (uint32_t i = 0; i < count; ++i) {
      argv[i] = at;
      at = random_argument(r, i == 0, at);
    }
    argv[count] = nullptr;
    char16_t* line = join_command_line(argv);
    ASSERT_NE(line, nullptr);
    int32_t n = 0;
    char16_t** block = split_command_line(nullptr, line, &n);
    bool same = block && n == int32_t(count);
    for (uint32_t i = 0; same && i < count; ++i) same = same_text(block[i], argv[i]);
    if (!same) {
      Args args(argv, argv + count);
      Args back = take_arguments(block, n);
      ADD_FAILURE() << "round " << round << ": " << escaped(args) << " joined as " << escaped(line) << " split as "
                    << escaped(back);
      wide_free(line);
      return;
    }
    free(block);
    wide_free(line);
    ++checked;
  }
  EXPECT_EQ(checked, kVectors);
}

}  // namespace
