// utf8_to_wide against glibc's mbstowcs in the C.UTF-8 locale, on ASCII,
// mixed European text and CJK text of a few sizes.
#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/utf.h"

namespace {

std::string sample(int kind, size_t bytes) {
  static const char* const kPieces[] = {
      "The quick brown fox jumps over the lazy dog. ",
      "Gr\xC3\xBC\xC3\x9F"
      "e aus K\xC3\xB6ln, \xC3\xA9t\xC3\xA9 \xE2\x82\xAC 5. ",
      "\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B\xE4\xBA\x94\xE5\x85\xAD\xE4\xB8\x83 ",
  };
  std::string s;
  while (s.size() < bytes) s += kPieces[kind];
  return s;
}

void BM_Utf8ToWide(benchmark::State& state) {
  std::string text = sample(int(state.range(0)), size_t(state.range(1)));
  std::vector<char16_t> out(text.size() + 1);
  for (auto _ : state) {
    size_t n = utf8_to_wide(out.data(), out.size(), text.data(), text.size());
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Utf8ToWide)->ArgsProduct({{0, 1, 2}, {40, 4096}});

void BM_Mbstowcs(benchmark::State& state) {
  if (!setlocale(LC_ALL, "C.UTF-8")) {
    state.SkipWithError("no C.UTF-8 locale");
    return;
  }
  std::string text = sample(int(state.range(0)), size_t(state.range(1)));
  std::vector<wchar_t> out(text.size() + 1);
  for (auto _ : state) {
    size_t n = mbstowcs(out.data(), text.c_str(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_Mbstowcs)->ArgsProduct({{0, 1, 2}, {40, 4096}});

}  // namespace
