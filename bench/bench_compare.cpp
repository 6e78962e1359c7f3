// Case-insensitive comparison with the built-in simple case folding tables
// against the C library's towlower on the same texts.
//
// Each text pair holds the same words in different cases, so every
// comparison runs over the whole text. Pairs of benchmarks share a label
// ("mixed" below U+0800: ASCII, Latin, Greek, Cyrillic; "bmp": scripts
// folded through the sorted table); items per second count code units, so
// the ratio of two rows with the same label is the speed ratio.
#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "text/compare.h"

namespace {

constexpr size_t kUnits = 4096;

struct TextPair {
  std::u16string a;
  std::u16string b;
};

// Deterministic text drawn from the given ranges of code points, with a
// second copy in which letters have their case swapped where towupper or
// towlower gives another letter that compares equal both ways.
TextPair make_pair(const std::vector<std::pair<char16_t, char16_t>>& ranges) {
  std::setlocale(LC_ALL, "C.UTF-8");
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  TextPair pair;
  while (pair.a.size() < kUnits) {
    const auto& range = ranges[next() % ranges.size()];
    char16_t c = char16_t(range.first + next() % (range.second - range.first + 1));
    if (next() % 8 == 0) c = u' ';
    pair.a.push_back(c);
    wint_t swapped = std::towupper(c) != wint_t(c) ? std::towupper(c) : std::towlower(c);
    // Only swaps that both ways of comparing call equal (not U+0130 and
    // U+0131, which towlower and simple folding treat differently).
    bool same =
        swapped <= 0xFFFF && fold_case(uint32_t(swapped)) == fold_case(c) && std::towlower(swapped) == std::towlower(c);
    pair.b.push_back(same && next() % 2 ? char16_t(swapped) : c);
  }
  return pair;
}

const TextPair& mixed_pair() {
  static const TextPair pair =
      make_pair({{u'A', u'Z'}, {u'a', u'z'}, {0x00C0, 0x00FF}, {0x0100, 0x017F}, {0x0391, 0x03C9}, {0x0400, 0x045F}});
  return pair;
}

const TextPair& bmp_pair() {
  static const TextPair pair = make_pair({{0x10A0, 0x10C5}, {0x2C00, 0x2C5E}, {0x1E00, 0x1EFF}, {0xFF21, 0xFF5A}});
  return pair;
}

// The comparison a program would write with the C library.
int compare_towlower_n(const char16_t* a, size_t a_length, const char16_t* b, size_t b_length) {
  size_t n = a_length < b_length ? a_length : b_length;
  for (size_t i = 0; i < n; ++i) {
    wint_t x = std::towlower(a[i]);
    wint_t y = std::towlower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a_length < b_length ? -1 : a_length > b_length ? 1 : 0;
}

void run_compare(benchmark::State& state, const TextPair& pair, const char* label, bool tables) {
  std::setlocale(LC_ALL, "C.UTF-8");
  int expected = 0;
  for (auto _ : state) {
    int r = tables ? compare_folded_n(pair.a.data(), pair.a.size(), pair.b.data(), pair.b.size())
                   : compare_towlower_n(pair.a.data(), pair.a.size(), pair.b.data(), pair.b.size());
    benchmark::DoNotOptimize(r);
    if (r != expected) state.SkipWithError("texts did not compare equal");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pair.a.size()));
  state.SetLabel(label);
}

void run_fold(benchmark::State& state, const TextPair& pair, const char* label, bool tables) {
  std::setlocale(LC_ALL, "C.UTF-8");
  for (auto _ : state) {
    uint32_t sum = 0;
    for (char16_t c : pair.a) sum += tables ? fold_case(c) : uint32_t(std::towlower(c));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(pair.a.size()));
  state.SetLabel(label);
}

void BM_CompareFolded_Mixed(benchmark::State& s) { run_compare(s, mixed_pair(), "mixed", true); }
void BM_CompareTowlower_Mixed(benchmark::State& s) { run_compare(s, mixed_pair(), "mixed", false); }
void BM_CompareFolded_Bmp(benchmark::State& s) { run_compare(s, bmp_pair(), "bmp", true); }
void BM_CompareTowlower_Bmp(benchmark::State& s) { run_compare(s, bmp_pair(), "bmp", false); }
void BM_FoldCase_Mixed(benchmark::State& s) { run_fold(s, mixed_pair(), "mixed", true); }
void BM_Towlower_Mixed(benchmark::State& s) { run_fold(s, mixed_pair(), "mixed", false); }
void BM_FoldCase_Bmp(benchmark::State& s) { run_fold(s, bmp_pair(), "bmp", true); }
void BM_Towlower_Bmp(benchmark::State& s) { run_fold(s, bmp_pair(), "bmp", false); }

BENCHMARK(BM_CompareFolded_Mixed);
BENCHMARK(BM_CompareTowlower_Mixed);
BENCHMARK(BM_CompareFolded_Bmp);
BENCHMARK(BM_CompareTowlower_Bmp);
BENCHMARK(BM_FoldCase_Mixed);
BENCHMARK(BM_Towlower_Mixed);
BENCHMARK(BM_FoldCase_Bmp);
BENCHMARK(BM_Towlower_Bmp);

}  // namespace
