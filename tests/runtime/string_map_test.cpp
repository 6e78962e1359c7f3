#include "runtime/string_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "runtime/refcounted.h"
#include "runtime/string_map_checks.h"
#include "support/test_support.h"

namespace {

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

// Owns one reference; the map is released when the test ends.
struct MapHolder {
  StringMap* map = CreateStringMap();
  ~MapHolder() {
    if (map) map->ops->Release(map);
  }
  const StringMapOps* operator->() const { return map->ops; }
};

bool set(StringMap* m, const std::u16string& k, const std::u16string& v) {
  return m->ops->Set(m, k.c_str(), v.c_str());
}
bool remove(StringMap* m, const std::u16string& k) { return m->ops->Remove(m, k.c_str()); }
const char16_t* get(StringMap* m, const std::u16string& k) { return m->ops->Get(m, k.c_str()); }

// Entries as seen through First/Next.
Entries iterate(StringMap* m) {
  Entries out;
  const char16_t* key = nullptr;
  for (const char16_t* v = m->ops->First(m, &key); v; v = m->ops->Next(m, &key)) out.emplace_back(key, v);
  EXPECT_EQ(key, nullptr);
  return out;
}

std::string describe(const Entries& entries) {
  std::string out;
  for (auto& [k, v] : entries) out += "[" + escaped(k) + "=" + escaped(v) + "]";
  return out;
}

::testing::AssertionResult tree_sound(const StringMap* m) {
  StringMapShape shape = inspect_string_map(m);
  if (!shape.fault.empty()) return ::testing::AssertionFailure() << shape.fault;
  if (!height_within_bound(shape.height, shape.nodes.size()))
    return ::testing::AssertionFailure() << "height " << shape.height << " for " << shape.nodes.size() << " entries";
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Key order and key identity

struct OrderCase {
  const char16_t* lower;
  const char16_t* higher;
};

// Pairs of distinct keys, the first ordered before the second.
const OrderCase kOrderCases[] = {
    {u"", u"a"},
    {u"AB", u"A_B"},  // '_' (0x5F) after 'B' (0x42)
    {u"a", u"a_"},    // a prefix orders first
    {u"z", u"_"},     // '_' after every letter, either case
    {u"Z", u"_"},
    {u"z", u"^"},
    {u"@", u"a"},  // 0x40 before 'A'
    {u"Z", u"["},
    {u"`", u"{"},
    {u"\u00C9", u"\u00E9"},  // only ASCII letters fold
    {u"a", u"aa"},
    {u"abc", u"abd"},
    {u"\U00010000", u"\uFFFF"},  // UTF-16 units compare one by one
    {u"\u00FF", u"\u0100"},
    {u"apple_", u"Zebra"},
};

TEST(RuntimeStringMap, OrdersDistinctKeysByUpperCasedUnits) {
  for (const OrderCase& c : kOrderCases) {
    std::u16string lo = c.lower, hi = c.higher;
    for (int reversed = 0; reversed < 2; ++reversed) {
      SCOPED_TRACE(escaped(lo) + " < " + escaped(hi) + (reversed ? " (inserted high first)" : ""));
      MapHolder m;
      ASSERT_TRUE(set(m.map, reversed ? hi : lo, u"1"));
      ASSERT_TRUE(set(m.map, reversed ? lo : hi, u"2"));
      Entries got = iterate(m.map);
      Entries want = reversed ? Entries{{lo, u"2"}, {hi, u"1"}} : Entries{{lo, u"1"}, {hi, u"2"}};
      EXPECT_EQ(got, want) << describe(got);
      const char16_t* lo_value = get(m.map, lo);
      ASSERT_NE(lo_value, nullptr);
      EXPECT_EQ(std::u16string(lo_value), reversed ? u"2" : u"1");
    }
  }
}

struct SameKeyCase {
  const char16_t* first;
  const char16_t* second;  // compares equal to `first`; stored afterwards
};

const SameKeyCase kSameKeyCases[] = {
    {u"name", u"NAME"}, {u"NAME", u"name"},       {u"Ab_9z", u"aB_9Z"}, {u"application_name", u"Application_Name"},
    {u"", u""},         {u"\u00E9a", u"\u00E9A"},  // the non-ASCII unit must match exactly, the letter folds
};

TEST(RuntimeStringMap, SetOfAnEqualKeyReplacesAndTakesTheNewLetterCase) {
  for (const SameKeyCase& c : kSameKeyCases) {
    SCOPED_TRACE(escaped(c.first) + " then " + escaped(c.second));
    MapHolder m;
    ASSERT_TRUE(set(m.map, u"before", u"b"));
    ASSERT_TRUE(set(m.map, c.first, u"old"));
    ASSERT_TRUE(set(m.map, u"~after", u"a"));
    ASSERT_TRUE(set(m.map, c.second, u"new"));
    Entries got = iterate(m.map);
    ASSERT_EQ(got.size(), 3u) << describe(got);
    auto it = std::find_if(got.begin(), got.end(), [&](auto& e) { return e.second == u"new"; });
    ASSERT_NE(it, got.end());
    EXPECT_EQ(it->first, std::u16string(c.second));
    EXPECT_TRUE(tree_sound(m.map));
  }
}

TEST(RuntimeStringMap, ModelOrderAgreesWithTheOrderTable) {
  // The model test below relies on this comparator mirroring the key order.
  for (const OrderCase& c : kOrderCases) {
    EXPECT_LT(model_key_compare(c.lower, c.higher), 0) << escaped(c.lower) << " vs " << escaped(c.higher);
    EXPECT_GT(model_key_compare(c.higher, c.lower), 0) << escaped(c.lower) << " vs " << escaped(c.higher);
  }
  for (const SameKeyCase& c : kSameKeyCases) EXPECT_EQ(model_key_compare(c.first, c.second), 0) << escaped(c.first);
}

TEST(RuntimeStringMap, NullKeyIsTheEmptyKeyAndOrdersFirst) {
  MapHolder m;
  ASSERT_TRUE(set(m.map, u"a", u"x"));
  ASSERT_TRUE(m->Set(m.map, nullptr, u"from null"));
  EXPECT_EQ(std::u16string(get(m.map, u"")), u"from null");
  ASSERT_TRUE(set(m.map, u"", u"from empty"));
  EXPECT_EQ(std::u16string(m->Get(m.map, nullptr)), u"from empty");
  EXPECT_EQ(iterate(m.map), (Entries{{u"", u"from empty"}, {u"a", u"x"}}));
  ASSERT_TRUE(m->Set(m.map, u"b", nullptr));
  const char16_t* v = get(m.map, u"B");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v[0], 0);
  EXPECT_TRUE(m->Remove(m.map, nullptr));
  EXPECT_EQ(get(m.map, u""), nullptr);
  EXPECT_EQ(iterate(m.map), (Entries{{u"a", u"x"}, {u"b", u""}}));
}

TEST(RuntimeStringMap, AbsentKeysAndEmptyMaps) {
  MapHolder m;
  const char16_t* key = u"untouched";
  EXPECT_EQ(m->First(m.map, &key), nullptr);
  EXPECT_EQ(key, nullptr);
  key = u"untouched";
  EXPECT_EQ(m->Next(m.map, &key), nullptr);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(remove(m.map, u"x"));
  EXPECT_EQ(get(m.map, u"x"), nullptr);
  ASSERT_TRUE(set(m.map, u"x", u"1"));
  EXPECT_FALSE(remove(m.map, u"x_"));
  EXPECT_FALSE(remove(m.map, u""));
  EXPECT_EQ(get(m.map, u"X "), nullptr);
  EXPECT_TRUE(remove(m.map, u"X"));
  EXPECT_FALSE(remove(m.map, u"x"));
  EXPECT_EQ(m.map->root, nullptr);
}

// ---------------------------------------------------------------------------
// Layout and reference counting

TEST(RuntimeStringMap, EntryIsOneBlockWithHeaderKeyAndValue) {
  MapHolder m;
  ASSERT_TRUE(set(m.map, u"Key\u00E9", u"value \U0001F600"));
  const StringMapNode* n = m.map->root;
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->parent, nullptr);
  EXPECT_EQ(n->child[0], nullptr);
  EXPECT_EQ(n->child[1], nullptr);
  EXPECT_EQ(n->link_colour[0], kLinkNone);
  EXPECT_EQ(n->link_colour[1], kLinkNone);
  const char16_t* key = string_map_node_key(n);
  EXPECT_EQ(reinterpret_cast<const char*>(key), reinterpret_cast<const char*>(n) + sizeof(StringMapNode));
  EXPECT_EQ(std::u16string(key), u"Key\u00E9");
  EXPECT_EQ(string_map_node_value(n), key + 5);
  EXPECT_EQ(std::u16string(string_map_node_value(n)), u"value \U0001F600");
  // Padding after the colours belongs to the zeroed header.
  unsigned char header[sizeof(StringMapNode)];
  memcpy(header, n, sizeof header);
  for (size_t i = offsetof(StringMapNode, link_colour) + 2; i < sizeof header; ++i) EXPECT_EQ(header[i], 0) << i;
  // Get, First and Next hand out the stored texts themselves.
  EXPECT_EQ(get(m.map, u"kEY\u00E9"), string_map_node_value(n));
  const char16_t* first_key = nullptr;
  EXPECT_EQ(m->First(m.map, &first_key), string_map_node_value(n));
  EXPECT_EQ(first_key, key);
}

TEST(RuntimeStringMap, FollowsTheRefCountedShape) {
  StringMap* m = CreateStringMap();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->count, 1);
  EXPECT_EQ(m->root, nullptr);
  EXPECT_EQ(m->cursor, nullptr);
  EXPECT_EQ(m->ops->AddRef, &refcounted_add_ref);
  auto* shape = reinterpret_cast<RefCounted*>(m);
  EXPECT_EQ(shape->ops, static_cast<const void*>(m->ops));
  refcounted_add_ref(shape);
  EXPECT_EQ(m->count, 2);
  ASSERT_TRUE(set(m, u"k", u"v"));
  m->ops->Release(m);
  // Still alive with one reference: the entry is there (a freed map would
  // show up under the address sanitizer here).
  EXPECT_EQ(m->count, 1);
  EXPECT_EQ(std::u16string(get(m, u"K")), u"v");
  m->ops->AddRef(m);
  m->ops->Release(m);
  EXPECT_EQ(m->count, 1);
  m->ops->Release(m);  // frees the map and its entries (checked by the leak checker)
}

TEST(RuntimeStringMap, ClearEmptiesAndTheMapStaysUsable) {
  MapHolder m;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(set(m.map, u16(std::to_string(i * 7919 % 1000)), u"v"));
  const char16_t* key;
  ASSERT_NE(m->First(m.map, &key), nullptr);
  m->Clear(m.map);
  EXPECT_EQ(m.map->root, nullptr);
  EXPECT_EQ(m.map->cursor, nullptr);
  EXPECT_EQ(m->Next(m.map, &key), nullptr);
  EXPECT_EQ(get(m.map, u"0"), nullptr);
  m->Clear(m.map);
  ASSERT_TRUE(set(m.map, u"again", u"1"));
  EXPECT_EQ(iterate(m.map), (Entries{{u"again", u"1"}}));
}

// ---------------------------------------------------------------------------
// Texts passed in may be the map's own

TEST(RuntimeStringMap, SetAcceptsTextsThatPointIntoTheReplacedEntry) {
  MapHolder m;
  ASSERT_TRUE(set(m.map, u"alpha", u"one"));
  ASSERT_TRUE(set(m.map, u"beta", u"two"));
  // The value of the entry being replaced as the new value.
  ASSERT_TRUE(m->Set(m.map, u"ALPHA", get(m.map, u"alpha")));
  EXPECT_EQ(std::u16string(get(m.map, u"alpha")), u"one");
  // The stored key of the entry being replaced as the new key.
  const char16_t* stored_key = nullptr;
  m->First(m.map, &stored_key);
  ASSERT_TRUE(m->Set(m.map, stored_key, u"three"));
  EXPECT_EQ(iterate(m.map), (Entries{{u"ALPHA", u"three"}, {u"beta", u"two"}}));
  EXPECT_TRUE(tree_sound(m.map));
}

// ---------------------------------------------------------------------------
// The cursor

struct CursorCase {
  const char* name;
  const char16_t* change_key;  // the key Set or Remove is applied to after First/Next
  bool is_remove;
  int advance;                       // Next calls after First before the change
  std::vector<std::u16string> rest;  // what further Next calls return
};

TEST(RuntimeStringMap, CursorMovesOffEntriesThatLeave) {
  // Entries a, b, c, d. The cursor stands on the entry reached by First and
  // `advance` Next calls; a change at the cursor moves it to the following
  // entry, so iteration continues after that one.
  const CursorCase cases[] = {
      {"remove at cursor", u"A", true, 0, {u"c", u"d"}},
      {"remove at cursor mid", u"b", true, 1, {u"d"}},
      {"remove last at cursor", u"D", true, 3, {}},
      {"remove before cursor", u"a", true, 1, {u"c", u"d"}},
      {"remove after cursor", u"c", true, 1, {u"d"}},
      {"replace at cursor", u"B", false, 1, {u"d"}},
      {"replace last at cursor", u"d", false, 3, {}},
      {"replace after cursor", u"C", false, 0, {u"b", u"C", u"d"}},
      {"replace before cursor", u"A", false, 2, {u"d"}},
      {"insert just after cursor", u"b_", false, 1, {u"b_", u"c", u"d"}},
      {"insert just before cursor", u"a_", false, 1, {u"c", u"d"}},
  };
  for (const CursorCase& c : cases) {
    SCOPED_TRACE(c.name);
    MapHolder m;
    for (const char16_t* k : {u"a", u"b", u"c", u"d"}) ASSERT_TRUE(set(m.map, k, u"v"));
    const char16_t* key = nullptr;
    ASSERT_NE(m->First(m.map, &key), nullptr);
    for (int i = 0; i < c.advance; ++i) ASSERT_NE(m->Next(m.map, &key), nullptr);
    if (c.is_remove) {
      ASSERT_TRUE(remove(m.map, c.change_key));
    } else {
      ASSERT_TRUE(set(m.map, c.change_key, u"w"));
    }
    std::vector<std::u16string> rest;
    while (m->Next(m.map, &key)) rest.push_back(key);
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(m->Next(m.map, &key), nullptr);
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(tree_sound(m.map));
  }
}

TEST(RuntimeStringMap, CursorStaysNullAfterTheEndUntilFirst) {
  MapHolder m;
  ASSERT_TRUE(set(m.map, u"only", u"1"));
  const char16_t* key = nullptr;
  EXPECT_EQ(m->Next(m.map, &key), nullptr);  // no First yet
  ASSERT_NE(m->First(m.map, &key), nullptr);
  EXPECT_EQ(m->Next(m.map, &key), nullptr);
  ASSERT_TRUE(set(m.map, u"p", u"2"));  // a later entry appears after the end
  EXPECT_EQ(m->Next(m.map, &key), nullptr);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(std::u16string(m->First(m.map, nullptr)), u"1");  // a null key output is allowed
  EXPECT_EQ(std::u16string(m->Next(m.map, nullptr)), u"2");
}

TEST(RuntimeStringMap, RemovalReplacesANodeWithTwoChildrenByItsPredecessor) {
  // b at the root with a and c below it; removing b must lift a (the entry
  // just before b), leaving c below a.
  MapHolder m;
  for (const char16_t* k : {u"b", u"a", u"c"}) ASSERT_TRUE(set(m.map, k, u"v"));
  ASSERT_EQ(std::u16string(string_map_node_key(m.map->root)), u"b");
  const StringMapNode* a = m.map->root->child[0];
  ASSERT_TRUE(remove(m.map, u"B"));
  ASSERT_EQ(m.map->root, a);
  EXPECT_EQ(a->child[0], nullptr);
  ASSERT_NE(a->child[1], nullptr);
  EXPECT_EQ(std::u16string(string_map_node_key(a->child[1])), u"c");
  EXPECT_TRUE(tree_sound(m.map));
}

// ---------------------------------------------------------------------------
// Shape under sequences that stress balancing

std::u16string numbered_key(int i) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "k%06d", i);
  return u16(buffer);
}

TEST(RuntimeStringMap, SortedInsertsThenRemovalsKeepTheRulesAtEveryStep) {
  enum { kAscending, kDescending, kShuffled };
  const int n = 300;
  for (int insert_order : {kAscending, kDescending, kShuffled}) {
    for (int remove_order : {kAscending, kDescending, kShuffled}) {
      SCOPED_TRACE("insert " + std::to_string(insert_order) + " remove " + std::to_string(remove_order));
      std::vector<int> ins(n), rem(n);
      for (int i = 0; i < n; ++i) ins[i] = rem[i] = i;
      TestRandom random(uint64_t(insert_order * 3 + remove_order + 1));
      auto arrange = [&](std::vector<int>& v, int order) {
        if (order == kDescending) std::reverse(v.begin(), v.end());
        if (order == kShuffled)
          for (size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[random.below(uint32_t(i))]);
      };
      arrange(ins, insert_order);
      arrange(rem, remove_order);
      MapHolder m;
      for (int i : ins) {
        ASSERT_TRUE(set(m.map, numbered_key(i), u"v"));
        ASSERT_TRUE(tree_sound(m.map)) << "after inserting " << i;
      }
      ASSERT_EQ(inspect_string_map(m.map).nodes.size(), size_t(n));
      for (int i : rem) {
        ASSERT_TRUE(remove(m.map, numbered_key(i)));
        ASSERT_TRUE(tree_sound(m.map)) << "after removing " << i;
        ASSERT_EQ(get(m.map, numbered_key(i)), nullptr);
      }
      EXPECT_EQ(m.map->root, nullptr);
    }
  }
}

TEST(RuntimeStringMap, HeightStaysWithinTwiceLog2) {
  // Ascending keys push every insertion to the same edge; replacements of
  // every key insert next to the old entry and then remove it.
  MapHolder m;
  const int n = 4096;
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(set(m.map, numbered_key(i), u"v"));
    if (i > 1024 && i % 16 != 0) continue;  // every size up to 1024, then samples
    StringMapShape shape = inspect_string_map(m.map);
    ASSERT_TRUE(shape.fault.empty()) << shape.fault;
    ASSERT_TRUE(height_within_bound(shape.height, size_t(i) + 1)) << "height " << shape.height << " at " << i + 1;
  }
  for (int i = 0; i < n; i += 3) ASSERT_TRUE(set(m.map, u"K" + numbered_key(i).substr(1), u"w"));
  StringMapShape shape = inspect_string_map(m.map);
  ASSERT_TRUE(shape.fault.empty()) << shape.fault;
  EXPECT_EQ(shape.nodes.size(), size_t(n));
  EXPECT_TRUE(height_within_bound(shape.height, n)) << shape.height;
  for (int i = 0; i < n; i += 2) ASSERT_TRUE(remove(m.map, numbered_key(i)));
  shape = inspect_string_map(m.map);
  ASSERT_TRUE(shape.fault.empty()) << shape.fault;
  EXPECT_EQ(shape.nodes.size(), size_t(n / 2));
  EXPECT_TRUE(height_within_bound(shape.height, n / 2)) << shape.height;
}

// ---------------------------------------------------------------------------
// Model-based test: random operations against std::map with the same key
// order, every rule checked after every step.

// Symbols keys are made of: letters in both cases so that case-insensitive
// replacement is frequent, '_' and '[' that sort after the letters, and
// non-ASCII units (é, É, a surrogate pair) that compare exactly.
const char16_t* const kSymbols[] = {u"a", u"A", u"b", u"B", u"z", u"_", u"[", u"\u00E9", u"\u00C9", u"\U0001F600"};

std::u16string random_key(TestRandom& random, uint32_t max_length) {
  std::u16string key;
  uint32_t length = random.below(max_length + 1);
  for (uint32_t i = 0; i < length; ++i) key += kSymbols[random.below(std::size(kSymbols))];
  return key;
}

// Random steps over a StringMapModel.
class ModelRun {
 public:
  explicit ModelRun(uint64_t seed) : random_(seed) {}

  std::string step(uint32_t max_key_length, uint32_t set_weight, uint32_t remove_weight) {
    if (random_.below(3000) == 0) return model_.clear();
    uint32_t roll = random_.below(set_weight + remove_weight + 45);
    std::u16string key = random_key(random_, max_key_length);
    if (roll < set_weight) {
      if (random_.below(16) == 0) return model_.set_from_stored(key, random_key(random_, max_key_length));
      bool null_key = random_.below(2) == 0;
      bool null_value = random_.below(20) == 0;
      return model_.set(key, u16(std::to_string(serial_++)), null_key, null_value);
    }
    roll -= set_weight;
    if (roll < remove_weight) return model_.remove(key);
    roll -= remove_weight;
    if (roll < 15) return model_.get(key);
    if (roll < 20) return model_.first();
    return model_.next();
  }

  std::string check_all() const { return model_.check_all(); }
  size_t size() const { return model_.size(); }

 private:
  TestRandom random_;
  StringMapModel model_;
  uint64_t serial_ = 0;
};

TEST(RuntimeStringMap, AgreesWithAModelOverRandomSteps) {
  // Rounds alternate between growing and shrinking and between short keys
  // (many collisions, frequent replacement) and longer ones (bigger trees).
  const int kRounds = 52;  // 104,000 steps
  const int kStepsPerRound = 2000;
  size_t largest = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ModelRun run(uint64_t(round) + 1000);
    uint32_t max_length = 1 + uint32_t(round % 4);
    for (int s = 0; s < kStepsPerRound; ++s) {
      bool growing = (s / 1000) % 2 == 0;
      std::string fault = run.step(max_length, growing ? 60 : 25, growing ? 15 : 50);
      if (fault.empty()) fault = run.check_all();
      ASSERT_TRUE(fault.empty()) << "step " << s << ": " << fault;
      largest = std::max(largest, run.size());
    }
  }
  // The key space of the longest keys allows some hundreds of entries; make
  // sure the run did reach trees of several levels.
  EXPECT_GT(largest, 200u);
}

}  // namespace
