// text_format against the C library's swprintf for the same integer and
// string conversions. glibc's wchar_t is 32 bits, so both write a similar
// number of units into a local buffer; the ratio is what matters.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cwchar>

#include "text/format.h"

namespace {

void BM_TextFormatIntegers(benchmark::State& state) {
  char16_t out[128];
  int i = 0;
  for (auto _ : state) {
    size_t n = text_format(out, 128, u"%d %5u %#x %-8lld|%08X", i, unsigned(i) * 7u, i, (long long)i << 20, i ^ 0x5A5A);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    ++i;
  }
}
BENCHMARK(BM_TextFormatIntegers);

void BM_SwprintfIntegers(benchmark::State& state) {
  wchar_t out[128];
  int i = 0;
  for (auto _ : state) {
    int n = swprintf(out, 128, L"%d %5u %#x %-8lld|%08X", i, unsigned(i) * 7u, i, (long long)i << 20, i ^ 0x5A5A);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    ++i;
  }
}
BENCHMARK(BM_SwprintfIntegers);

void BM_TextFormatStrings(benchmark::State& state) {
  char16_t out[256];
  for (auto _ : state) {
    size_t n = text_format(out, 256, u"%s: %-20s|%.5s|%30s", u"application_name", u"Ardelon", u"error_running_command",
                           u"right-aligned text");
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_TextFormatStrings);

void BM_SwprintfStrings(benchmark::State& state) {
  wchar_t out[256];
  for (auto _ : state) {
    int n = swprintf(out, 256, L"%ls: %-20ls|%.5ls|%30ls", L"application_name", L"Ardelon", L"error_running_command",
                     L"right-aligned text");
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_SwprintfStrings);

// The launcher's own use: one error code.
void BM_TextFormatErrorCode(benchmark::State& state) {
  char16_t out[50];
  uint32_t code = 2;
  for (auto _ : state) {
    size_t n = text_format(out, 50, u"%i", int(code));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    code = code * 3 + 1;
  }
}
BENCHMARK(BM_TextFormatErrorCode);

void BM_SwprintfErrorCode(benchmark::State& state) {
  wchar_t out[50];
  uint32_t code = 2;
  for (auto _ : state) {
    int n = swprintf(out, 50, L"%i", int(code));
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    code = code * 3 + 1;
  }
}
BENCHMARK(BM_SwprintfErrorCode);

}  // namespace
