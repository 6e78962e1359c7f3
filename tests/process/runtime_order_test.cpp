// The environment block's order against the C runtime's own comparison
// functions (msvcrt's _wcsnicmp and _wcsicmp), on the rule the block
// follows: compare the names with their '=' over the shorter length, then
// the shorter name first, then the whole entries.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "process/launch_rules.h"
#include "support/test_support.h"
#include "support/windows_process.h"

namespace {

using CompareN = int(__cdecl*)(const wchar_t*, const wchar_t*, size_t);
using Compare = int(__cdecl*)(const wchar_t*, const wchar_t*);

struct Runtime {
  CompareN wcsnicmp = nullptr;
  Compare wcsicmp = nullptr;
  Runtime() {
    HMODULE msvcrt = LoadLibraryW(L"msvcrt.dll");
    if (!msvcrt) return;
    wcsnicmp = reinterpret_cast<CompareN>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_wcsnicmp")));
    wcsicmp = reinterpret_cast<Compare>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_wcsicmp")));
  }
};

size_t key_length(const std::u16string& e) {
  size_t eq = e.find(u'=', e.empty() ? 0 : 1);
  return eq == std::u16string::npos ? e.size() : eq + 1;
}

// The order with the runtime's own functions: < 0, 0, > 0.
int runtime_order(const Runtime& rt, const std::u16string& a, const std::u16string& b) {
  size_t la = key_length(a), lb = key_length(b);
  int r = rt.wcsnicmp(wide(a), wide(b), la < lb ? la : lb);
  if (r != 0) return r;
  if (la != lb) return la < lb ? -1 : 1;
  return rt.wcsicmp(wide(a), wide(b));
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(ProcessRuntimeOrder, EveryPairOfLeadingUnits) {
  Runtime rt;
  ASSERT_TRUE(rt.wcsnicmp && rt.wcsicmp);
  // All units up to U+02FF and a few far ones, as one-letter names.
  std::vector<char16_t> units;
  for (char16_t c = 1; c < 0x300; ++c) units.push_back(c);
  for (char16_t c : {0x0391, 0x03B1, 0x0410, 0x0430, 0x1E9E, 0x212A, 0xD800, 0xDC00, 0xFF21, 0xFF41, 0xFFFF}) {
    units.push_back(c);
  }
  for (char16_t x : units) {
    for (char16_t y : units) {
      std::u16string a = {x, u'=', u'1'}, b = {y, u'=', u'1'};
      int expected = sign(runtime_order(rt, a, b));
      int actual = sign(compare_environment_entries(a.c_str(), b.c_str()));
      if (actual != expected) {
        ADD_FAILURE() << "units " << unsigned(x) << " and " << unsigned(y) << ": " << actual << " vs " << expected;
        return;
      }
    }
  }
}

TEST(ProcessRuntimeOrder, RandomEntriesAndWholeBlocks) {
  Runtime rt;
  ASSERT_TRUE(rt.wcsnicmp && rt.wcsicmp);
  const char16_t alphabet[] = {u'A', u'a', u'B', u'b', u'Z', u'z', u'_',  u'=',  u'1',   u'[',
                               u'`', u'@', u'{', u'~', 0xC4, 0xE4, 0x130, 0x131, 0xD801, 0xFFFD};
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(seed);
    std::vector<std::u16string> entries(random.below(20));
    for (std::u16string& e : entries) {
      for (size_t k = 1 + random.below(5); k > 0; --k) e += alphabet[random.below(sizeof alphabet / 2)];
    }
    for (size_t i = 0; i < entries.size(); ++i) {
      for (size_t j = 0; j < entries.size(); ++j) {
        ASSERT_EQ(sign(compare_environment_entries(entries[i].c_str(), entries[j].c_str())),
                  sign(runtime_order(rt, entries[i], entries[j])))
            << escaped(entries[i]) << " / " << escaped(entries[j]);
      }
    }
    // The whole block against a gnome sort driven by the runtime itself.
    std::vector<std::u16string> sorted = entries;
    for (size_t i = 0; i + 1 < sorted.size();) {
      if (runtime_order(rt, sorted[i], sorted[i + 1]) <= 0) {
        ++i;
      } else {
        std::swap(sorted[i], sorted[i + 1]);
        if (i > 0) --i;
      }
    }
    std::vector<const char16_t*> pointers;
    for (const std::u16string& e : entries) pointers.push_back(e.c_str());
    pointers.push_back(nullptr);
    char16_t* block = build_environment_block(pointers.data());
    ASSERT_NE(block, nullptr);
    std::u16string expected;
    for (const std::u16string& e : sorted) expected += e + u'\0';
    if (expected.empty()) expected += u'\0';
    expected += u'\0';
    EXPECT_EQ(std::u16string(block, expected.size()), expected);
    free(block);
  }
}

}  // namespace
