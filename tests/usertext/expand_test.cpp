#include "usertext/expand.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "usertext_test_util.h"

namespace {

using usertext_test::AllocationGuard;
using usertext_test::S;
using usertext_test::UsertextFixture;

class UsertextExpand : public UsertextFixture {
 protected:
  void store(const char16_t* key, const char16_t* text) { StoreUsertext(catalog, key, text); }
  std::u16string format(const char16_t* key, std::vector<const char16_t*> args = {}) {
    return S(usertext_format(&pool, key, static_cast<int32_t>(args.size()), args.data()));
  }
};

TEST_F(UsertextExpand, TextWithoutMarkersIsHandedOutInPlace) {
  store(u"plain", u"Nothing to replace");
  const char16_t* stored = usertext_lookup(catalog, u"plain");
  EXPECT_EQ(usertext_get(&pool, u"plain"), stored);
  EXPECT_EQ(usertext_get(&pool, u"PLAIN"), stored);
  EXPECT_EQ(pool, nullptr);
}

TEST_F(UsertextExpand, EmptyResultsAreTheStaticEmptyText) {
  store(u"empty", u"");
  EXPECT_EQ(format(u"empty"), u"");
  EXPECT_EQ(format(u""), u"");
  // Expands to nothing although it has a marker: still no block.
  store(u"void", u"%()");
  EXPECT_EQ(format(u"void"), u"");
  EXPECT_EQ(pool, nullptr);
}

TEST_F(UsertextExpand, UnstoredKeysStandForThemselves) {
  const char16_t* key = u"never_stored";
  EXPECT_EQ(usertext_get(&pool, key), key);
  EXPECT_EQ(pool, nullptr);
  EXPECT_EQ(format(u"abc%1"), u"abcmissing_arg");
  EXPECT_EQ(format(u"x%%y"), u"x%y");
}

TEST_F(UsertextExpand, PositionalArguments) {
  store(u"one", u"[%1]");
  store(u"three", u"[%3]");
  store(u"nine", u"%9|%1%2%3%4%5%6%7%8");
  store(u"ten", u"%10");
  store(u"inert", u"<%1>");
  EXPECT_EQ(format(u"one"), u"[missing_arg]");
  EXPECT_EQ(format(u"three", {u"a", u"b"}), u"[missing_arg]");
  EXPECT_EQ(format(u"one", {nullptr}), u"[missing_arg]");
  EXPECT_EQ(format(u"one", {u""}), u"[]");
  EXPECT_EQ(format(u"nine", {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9"}), u"9|12345678");
  EXPECT_EQ(format(u"ten", {u"A"}), u"A0");
  // Arguments are inserted verbatim, never expanded.
  EXPECT_EQ(format(u"inert", {u"%2%(one)%", u"B"}), u"<%2%(one)%>");
  // A negative count means no arguments.
  EXPECT_EQ(S(usertext_format(&pool, u"one", -3, nullptr)), u"[missing_arg]");
}

TEST_F(UsertextExpand, PercentBeforeAnythingElseYieldsThatUnit) {
  struct Case {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"%%", u"%"},   {u"%0", u"0"},      {u"%a", u"a"},           {u"50%", u"50"}, {u"%)", u")"},
      {u"%%1", u"%1"}, {u"a%%%1", u"a%X"}, {u"%\u00e9", u"\u00e9"}, {u"%", u""},     {u"%%%", u"%"},
  };
  for (const Case& c : cases) {
    store(u"t", c.text);
    EXPECT_EQ(format(u"t", {u"X"}), S(c.expected)) << escaped(c.text);
  }
}

TEST_F(UsertextExpand, MissingArgumentTextComesFromTheCatalogRaw) {
  store(u"missing_arg", u"?%1?");
  store(u"t", u"<%2>");
  EXPECT_EQ(format(u"t", {u"only"}), u"<?%1?>");
  store(u"Missing_Arg", u"");
  EXPECT_EQ(format(u"t"), u"<>");
}

TEST_F(UsertextExpand, NestedKeys) {
  store(u"application_name", u"Ardelon");
  store(u"title", u"%(application_name) - %(Application_Name)");
  store(u"inner", u"(%1,%2)");
  store(u"outer", u"a%(inner)b");
  store(u"open", u"x%(application_name");
  store(u"hole", u"a%()b");
  EXPECT_EQ(format(u"title"), u"Ardelon - Ardelon");
  // A nested text sees the top-level arguments.
  EXPECT_EQ(format(u"outer", {u"1", u"2"}), u"a(1,2)b");
  // An open parenthesis takes the rest of the text as the name.
  EXPECT_EQ(format(u"open"), u"xArdelon");
  // The empty name inserts nothing (nothing is stored under it).
  EXPECT_EQ(format(u"hole"), u"ab");
  // Nothing stored under the name: the name itself.
  store(u"ref", u"[%(no_such_key)]");
  EXPECT_EQ(format(u"ref"), u"[no_such_key]");
  // ... which is itself expanded like a text.
  store(u"ref2", u"[%(no%1such)]");
  EXPECT_EQ(format(u"ref2", {u"_"}), u"[no_such]");
}

TEST_F(UsertextExpand, SelfReferenceStopsAfterFiveNestedLevels) {
  store(u"loop", u"%(loop)");
  EXPECT_EQ(format(u"loop"), u"%(loop)");
  store(u"grow", u"+%(grow)");
  // Walked at depths 1..6; the name met at depth 6 is inserted raw.
  EXPECT_EQ(format(u"grow"),
            u"++++++"
            u"+%(grow)");
}

TEST_F(UsertextExpand, DepthLimitCountsEachLevelOnce) {
  // k1 -> k2 -> ... each adds its digit; the name met inside the text
  // walked at depth 6 (k6) is inserted as stored.
  const char16_t* texts[] = {u"1%(k2)", u"2%(k3)", u"3%(k4)", u"4%(k5)", u"5%(k6)", u"6%(k7)", u"7%(k8)", u"8"};
  const char16_t* keys[] = {u"k1", u"k2", u"k3", u"k4", u"k5", u"k6", u"k7", u"k8"};
  for (int i = 0; i < 8; ++i) store(keys[i], texts[i]);
  EXPECT_EQ(format(u"k1"), u"1234567%(k8)");
  EXPECT_EQ(format(u"k2"), u"2345678");
  // The counter starts again at 0 for each call.
  EXPECT_EQ(format(u"k1"), u"1234567%(k8)");
  int32_t depth = 0;
  char16_t out[64];
  EXPECT_EQ(usertext_expand(catalog, &depth, out, 64, nullptr, u"k1", 0, nullptr), 12u);
  EXPECT_EQ(depth, 0);
  // A caller-supplied counter above zero lowers the nesting left.
  depth = 3;
  usertext_expand(catalog, &depth, out, 64, nullptr, u"k1", 0, nullptr);
  EXPECT_EQ(S(out), u"1234%(k5)");
  EXPECT_EQ(depth, 3);
}

TEST_F(UsertextExpand, WholeTextReport) {
  store(u"plain", u"abc");
  store(u"marked", u"a%%");
  store(u"gone", u"%(void)");
  store(u"void", u"");
  const char16_t* stored = usertext_lookup(catalog, u"plain");
  const char16_t* unstored = u"unstored_key";
  enum Whole { kStored, kKey, kEmpty, kNone };
  struct Case {
    const char16_t* key;
    Whole whole;
  } cases[] = {
      {u"plain", kStored}, {u"marked", kNone}, {u"gone", kEmpty}, {u"void", kEmpty}, {unstored, kKey},
  };
  for (const Case& c : cases) {
    int32_t depth = 0;
    const char16_t* whole = u"sentinel";
    char16_t out[8];
    usertext_expand(catalog, &depth, out, 8, &whole, c.key, 0, nullptr);
    switch (c.whole) {
      case kStored: EXPECT_EQ(whole, stored); break;
      case kKey: EXPECT_EQ(whole, c.key); break;
      case kNone: EXPECT_EQ(whole, nullptr); break;
      case kEmpty:
        ASSERT_NE(whole, nullptr) << utf8(c.key);
        EXPECT_EQ(*whole, 0) << utf8(c.key);
        break;
    }
  }
}

TEST_F(UsertextExpand, CapacityTruncatesButReportsTheFullLength) {
  store(u"long", u"%1%1");
  const char16_t* args[] = {u"0123456789"};
  for (size_t capacity : {size_t(0), size_t(1), size_t(2), size_t(10), size_t(20), size_t(21), size_t(40)}) {
    std::vector<char16_t> out(capacity + 1, u'#');
    int32_t depth = 0;
    size_t n = usertext_expand(catalog, &depth, capacity ? out.data() : nullptr, capacity, nullptr, u"long", 1, args);
    EXPECT_EQ(n, 20u) << capacity;
    std::u16string full = u"01234567890123456789";
    if (capacity > 0) {
      size_t kept = capacity - 1 < 20 ? capacity - 1 : 20;
      EXPECT_EQ(std::u16string(out.data()), full.substr(0, kept)) << capacity;
    }
    EXPECT_EQ(out[capacity], u'#') << "wrote past the capacity " << capacity;
  }
  // Capacity 10: nine units and a terminator.
  char16_t ten[10];
  int32_t depth = 0;
  EXPECT_EQ(usertext_expand(catalog, &depth, ten, 10, nullptr, u"long", 1, args), 20u);
  EXPECT_EQ(S(ten), u"012345678");
}

TEST_F(UsertextExpand, LocalBufferBoundary) {
  store(u"wrap", u"[%1]");
  for (size_t n : {size_t(97), size_t(98), size_t(99), size_t(100), size_t(101), size_t(150), size_t(5000)}) {
    std::u16string arg(n - 2, u'm');
    arg[0] = u'A';
    arg.back() = u'Z';
    const char16_t* args[] = {arg.c_str()};
    size_t blocks = pool_blocks();
    const char16_t* out = usertext_format(&pool, u"wrap", 1, args);
    EXPECT_EQ(S(out), u"[" + arg + u"]") << n;
    EXPECT_EQ(pool_blocks(), blocks + 1) << n;
  }
}

TEST_F(UsertextExpand, FormatTwoAndGetAreFormat) {
  store(u"error_running_command", u"ERROR: %1  Unable to run command \"%2\".\n");
  EXPECT_EQ(S(usertext_format2(&pool, u"error_running_command", u"2", u"\"C:\\x\\tavrin.exe\" convert -g")),
            u"ERROR: 2  Unable to run command \"\"C:\\x\\tavrin.exe\" convert -g\".\n");
  EXPECT_EQ(S(usertext_format2(&pool, u"error_running_command", nullptr, nullptr)),
            u"ERROR: missing_arg  Unable to run command \"missing_arg\".\n");
  store(u"g", u"%1");
  EXPECT_EQ(S(usertext_get(&pool, u"g")), u"missing_arg");
}

TEST_F(UsertextExpand, LackOfMemory) {
  store(u"outer", u"<%(inner)>");
  store(u"inner", u"%1!");
  store(u"named", u"<%(some_name)>");
  const char16_t* args[] = {u"x"};
  {
    // Every allocation refused: the nested name cannot be copied (the
    // missing-argument text stands in) and no block can hold the result.
    AllocationGuard refuse_all(0);
    EXPECT_EQ(usertext_format(&pool, u"outer", 1, args), kUsertextError);
    int32_t depth = 0;
    char16_t out[64];
    usertext_expand(catalog, &depth, out, 64, nullptr, u"outer", 1, args);
    EXPECT_EQ(S(out), u"<missing_arg>");
    EXPECT_EQ(pool, nullptr);
  }
  {
    // Requests of 40 bytes and more fail: the short name is copied, but the
    // 31-unit nested result has no buffer and "usertext_error" stands in.
    const char16_t* long_arg[] = {u"abcdefghijklmnopqrstuvwxyz0123"};
    AllocationGuard refuse_big(40);
    int32_t depth = 0;
    char16_t out[64];
    usertext_expand(catalog, &depth, out, 64, nullptr, u"outer", 1, long_arg);
    EXPECT_EQ(S(out), u"<usertext_error>");
    // Short enough, the same nested text fits.
    usertext_expand(catalog, &depth, out, 64, nullptr, u"outer", 1, args);
    EXPECT_EQ(S(out), u"<x!>");
    // A name whose text needs no change is inserted without a buffer.
    EXPECT_EQ(S(usertext_format(&pool, u"named", 0, nullptr)), u"<some_name>");
  }
  // Results of 100 units or more need a block of their own.
  std::u16string arg(150, u'v');
  const char16_t* long_args[] = {arg.c_str()};
  {
    AllocationGuard refuse_big(200);
    EXPECT_EQ(usertext_format(&pool, u"inner", 1, long_args), kUsertextError);
  }
  EXPECT_EQ(S(usertext_format(&pool, u"inner", 1, long_args)), arg + u"!");
}

TEST_F(UsertextExpand, NoCatalogGivesTheErrorText) {
  ReleaseUsertextCatalog();
  {
    AllocationGuard refuse_all(0);
    EXPECT_EQ(usertext_get(&pool, u"application_name"), kUsertextError);
    EXPECT_EQ(usertext_format2(&pool, u"x", u"a", u"b"), kUsertextError);
  }
  EXPECT_EQ(pool, nullptr);
  catalog = EnsureUsertextCatalog();
  ASSERT_NE(catalog, nullptr);
  catalog->testMode = 0;
}

// ---------------------------------------------------------------------------
// Model-based: random templates against a straightforward reference.

std::u16string upper_ascii(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
  }
  return s;
}

struct Model {
  std::map<std::u16string, std::u16string> texts;  // upper-cased key -> text

  void set(const std::u16string& key, const std::u16string& text) { texts[upper_ascii(key)] = text; }
  std::u16string lookup(const std::u16string& key) const {
    auto it = texts.find(upper_ascii(key));
    return it == texts.end() ? key : it->second;
  }
  std::u16string expand(const std::u16string& key, int& depth, const std::vector<const char16_t*>& args) const {
    ++depth;
    std::u16string t = lookup(key), out;
    for (size_t i = 0; i < t.size();) {
      char16_t c = t[i++];
      if (c != u'%') {
        out += c;
        continue;
      }
      if (i == t.size()) break;
      char16_t n = t[i++];
      if (n >= u'1' && n <= u'9') {
        size_t index = size_t(n - u'1');
        out += index < args.size() && args[index] ? std::u16string(args[index]) : lookup(u"missing_arg");
      } else if (n == u'(') {
        size_t close = t.find(u')', i);
        std::u16string name = t.substr(i, close == std::u16string::npos ? std::u16string::npos : close - i);
        i = close == std::u16string::npos ? t.size() : close + 1;
        out += depth > 5 ? lookup(name) : expand(name, depth, args);
      } else {
        out += n;
      }
    }
    --depth;
    return out;
  }
};

TEST_F(UsertextExpand, AgreesWithAReferenceModelOnRandomTemplates) {
  const char16_t* names[] = {u"k0", u"K1", u"k2", u"k3", u"missing_arg", u"k%1"};
  const char16_t* pieces[] = {u"ab",    u"x",     u"%1", u"%2", u"%9", u"%(k0)", u"%(K0)",  u"%(k1)",  u"%(k2)",
                              u"%(k3)", u"%(zz)", u"%%", u"%(", u"%)", u"%q",    u"%(k%1)", u"\u20ac", u"%()"};
  for (uint64_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE(seed);
    TestRandom rnd(seed);
    catalog->textMap->ops->Clear(catalog->textMap);
    Model model;
    for (const char16_t* name : names) {
      if (rnd.below(5) == 0) continue;
      std::u16string text;
      int count = int(rnd.below(6));
      for (int i = 0; i < count; ++i) text += pieces[rnd.below(sizeof(pieces) / sizeof(pieces[0]))];
      // Some texts grow long enough to need the second pass.
      if (rnd.below(8) == 0) text += std::u16string(40 + rnd.below(100), u'L');
      StoreUsertext(catalog, name, text.c_str());
      model.set(name, text);
    }
    std::vector<std::u16string> arg_texts;
    std::vector<const char16_t*> args;
    int argc = int(rnd.below(10));
    for (int i = 0; i < argc; ++i) arg_texts.push_back(std::u16string(rnd.below(4), char16_t(u'A' + i)) + u"%2");
    for (int i = 0; i < argc; ++i) args.push_back(rnd.below(6) == 0 ? nullptr : arg_texts[i].c_str());

    const char16_t* key = names[rnd.below(sizeof(names) / sizeof(names[0]))];
    int depth = 0;
    std::u16string expected = model.expand(key, depth, args);
    EXPECT_EQ(S(usertext_format(&pool, key, argc, args.data())), expected) << utf8(key);

    // The bounded form keeps a prefix and always reports the full length.
    size_t capacity = rnd.below(uint32_t(expected.size() + 3));
    std::vector<char16_t> out(capacity + 1, u'#');
    int32_t counter = 0;
    size_t n =
        usertext_expand(catalog, &counter, capacity ? out.data() : nullptr, capacity, nullptr, key, argc, args.data());
    EXPECT_EQ(n, expected.size());
    EXPECT_EQ(counter, 0);
    if (capacity > 0) {
      size_t kept = std::min(capacity - 1, expected.size());
      EXPECT_EQ(std::u16string(out.data()), expected.substr(0, kept));
    }
    EXPECT_EQ(out[capacity], u'#');
    text_pool_free(&pool);
  }
}

}  // namespace
