// StringMap against std::map with the same ASCII-case-insensitive order, on
// the same keys: lookups, replacements and building a map from scratch, for
// a catalog-sized map and two larger ones. Both sides compare keys with
// compare_nocase, so the figures compare the containers.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/string_map.h"
#include "text/compare.h"

namespace {

struct NocaseLess {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const {
    return compare_nocase_n(a.data(), a.size(), b.data(), b.size()) < 0;
  }
};

using StdMap = std::map<std::u16string, std::u16string, NocaseLess>;

std::u16string to_u16(const char* text) {
  std::u16string out;
  for (; *text; ++text) out += char16_t(*text);
  return out;
}

// Keys shaped like the catalog's (lower case with underscores), in a
// scattered order; `lookups` are the same keys in upper case.
struct KeySet {
  std::vector<std::u16string> keys;
  std::vector<std::u16string> lookups;
  std::vector<std::u16string> values;
};

KeySet make_keys(size_t n) {
  KeySet set;
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < n; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    char buffer[64];
    snprintf(buffer, sizeof buffer, "usertext_key_%08llx_%zu", static_cast<unsigned long long>(state & 0xFFFFFFFF), i);
    std::u16string key = to_u16(buffer);
    std::u16string upper = key;
    for (char16_t& c : upper) c = ascii_upper(c);
    set.keys.push_back(key);
    set.lookups.push_back(upper);
    snprintf(buffer, sizeof buffer, "text number %zu", i);
    set.values.push_back(to_u16(buffer));
  }
  return set;
}

StringMap* build_string_map(const KeySet& set) {
  StringMap* map = CreateStringMap();
  for (size_t i = 0; i < set.keys.size(); ++i) map->ops->Set(map, set.keys[i].c_str(), set.values[i].c_str());
  return map;
}

StdMap build_std_map(const KeySet& set) {
  StdMap map;
  for (size_t i = 0; i < set.keys.size(); ++i) map.insert_or_assign(set.keys[i], set.values[i]);
  return map;
}

void BM_Get_StringMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  StringMap* map = build_string_map(set);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map->ops->Get(map, set.lookups[i].c_str()));
    if (++i == set.lookups.size()) i = 0;
  }
  map->ops->Release(map);
}

void BM_Get_StdMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  StdMap map = build_std_map(set);
  size_t i = 0;
  for (auto _ : state) {
    // Looked up by the caller's text without making a std::u16string, as
    // StringMap's callers do.
    auto it = map.find(std::u16string_view(set.lookups[i].c_str()));
    benchmark::DoNotOptimize(it == map.end() ? nullptr : it->second.c_str());
    if (++i == set.lookups.size()) i = 0;
  }
}

// Replacing an existing entry: StringMap allocates the new entry and frees
// the old one (the new letter case wins); std::map assigns the value in
// place and keeps the old key.
void BM_Replace_StringMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  StringMap* map = build_string_map(set);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map->ops->Set(map, set.lookups[i].c_str(), set.values[i].c_str()));
    if (++i == set.lookups.size()) i = 0;
  }
  map->ops->Release(map);
}

void BM_Replace_StdMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  StdMap map = build_std_map(set);
  size_t i = 0;
  for (auto _ : state) {
    map.insert_or_assign(set.lookups[i], set.values[i]);
    if (++i == set.lookups.size()) i = 0;
  }
}

// A whole map: every key inserted into an empty map, then everything freed.
void BM_Build_StringMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  for (auto _ : state) {
    StringMap* map = build_string_map(set);
    map->ops->Release(map);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Build_StdMap(benchmark::State& state) {
  KeySet set = make_keys(size_t(state.range(0)));
  for (auto _ : state) {
    StdMap map = build_std_map(set);
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Get_StringMap)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Get_StdMap)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Replace_StringMap)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Replace_StdMap)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Build_StringMap)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Build_StdMap)->Arg(16)->Arg(1024)->Arg(65536);
