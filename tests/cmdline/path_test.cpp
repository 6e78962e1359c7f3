#include "cmdline/path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cmdline/system.h"
#include "support/test_support.h"

namespace {

// ---------------------------------------------------------------------------
// A model written straight from the rules, forwards, with unlimited room:
// the implementation works backwards within a capacity, so the two share
// nothing but the rules.

bool sep(char16_t c) { return c == u'\\' || c == u'/'; }
bool drive_char(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'); }

struct ModelRoot {
  bool ok;
  size_t length;
  bool rooted;
};

ModelRoot model_root(const std::u16string& p) {
  auto at = [&](size_t i) { return i < p.size() ? p[i] : char16_t(0); };
  if (sep(at(0)) && sep(at(1))) {
    size_t i = 2;
    size_t server = i;
    while (at(i) && !sep(at(i))) ++i;
    if (i == server || !at(i)) return {false, 0, false};
    size_t share = ++i;
    while (at(i) && !sep(at(i))) ++i;
    if (i == share) return {false, 0, false};
    return {true, i, true};
  }
  if (sep(at(0))) return {true, 0, true};
  if (drive_char(at(0)) && at(1) == u':') return {true, 2, sep(at(2))};
  return {true, 0, false};
}

struct ModelPath {
  bool ok;
  std::u16string text;
};

ModelPath model_normalize(const std::u16string& source) {
  ModelRoot root = model_root(source);
  if (!root.ok) return {false, u""};
  std::u16string out;
  for (size_t i = 0; i < root.length; ++i) out += source[i] == u'/' ? u'\\' : source[i];
  if (root.rooted) out += u'\\';
  const size_t floor = out.size();
  size_t unmatched = 0;
  size_t i = root.length;
  while (i < source.size()) {
    while (i < source.size() && sep(source[i])) ++i;
    size_t start = i;
    while (i < source.size() && !sep(source[i])) ++i;
    std::u16string component = source.substr(start, i - start);
    if (component.empty()) break;
    if (component.find_first_not_of(u'.') == std::u16string::npos) {
      for (size_t up = 1; up < component.size(); ++up) {
        if (out.size() > floor) {
          while (out.size() > floor && out.back() != u'\\') out.pop_back();
          if (out.size() > floor) out.pop_back();
        } else {
          ++unmatched;
        }
      }
    } else {
      if (out.size() > floor) out += u'\\';
      out += component;
    }
  }
  if (unmatched && !root.rooted) out.insert(floor, std::u16string(unmatched + 1, u'.') + u'\\');
  return {true, out};
}

std::u16string current_directory() {
  char16_t buffer[300];
  uint32_t n = system_current_directory(buffer, 300);
  return n > 0 && n < 300 ? std::u16string(buffer, n) : std::u16string();
}

// The rules of resolving, joining texts and normalising the join. `limited`
// tells whether the result must fit the 300-unit work area.
ModelPath model_resolve(const char16_t* base, const std::u16string& path, bool* limited) {
  *limited = true;
  ModelRoot pr = model_root(path);
  if (!pr.ok) return {false, u""};
  if (pr.length > 0 && pr.rooted) {
    *limited = false;
    return model_normalize(path);
  }
  std::u16string work;
  if (base) {
    ModelPath b = model_normalize(base);
    if (!b.ok) return {false, u""};
    work = b.text;
  } else {
    work = current_directory();
  }
  if (work.empty()) return {false, u""};
  ModelRoot br = model_root(work);
  if (!br.ok) return {false, u""};
  std::u16string kept;
  if (pr.rooted) {
    kept = work.substr(0, br.length);
  } else if (pr.length == 0 || (br.length == 2 && path.compare(0, 2, work, 0, 2) == 0)) {
    kept = br.rooted ? work : work.substr(0, br.length);
  } else {
    char16_t buffer[300];
    uint32_t n = 0;
    bool letter = (path[0] >= u'a' && path[0] <= u'z') || (path[0] >= u'A' && path[0] <= u'Z');
    if (letter) n = system_drive_full_path(path[0], buffer, 300);
    kept = letter && n > 0 && n < 300 ? std::u16string(buffer, n) : path.substr(0, 2);
  }
  if (!kept.empty() && sep(kept.back())) kept.pop_back();
  size_t skip = pr.length + (pr.rooted ? 1 : 0);
  return model_normalize(kept + u'\\' + path.substr(std::min(skip, path.size())));
}

// ---------------------------------------------------------------------------
// Calls through a destination with a guard zone behind the capacity.

constexpr char16_t kGuard = 0xBEEF;
constexpr size_t kGuardUnits = 16;

struct Outcome {
  bool ok;
  std::u16string text;
  bool guard_intact;
};

template <typename Call>
Outcome guarded(size_t capacity, Call call) {
  std::vector<char16_t> buffer(capacity + kGuardUnits, kGuard);
  bool ok = call(buffer.data(), capacity);
  Outcome o{ok, u"", true};
  for (size_t i = capacity; i < buffer.size(); ++i) o.guard_intact &= buffer[i] == kGuard;
  if (ok) {
    auto end = std::find(buffer.begin(), buffer.begin() + capacity, char16_t(0));
    o.text.assign(buffer.begin(), end);
  }
  return o;
}

// In place: the buffer holds the source, possibly beyond the capacity;
// nothing at or after the capacity may change, and a failure leaves the
// source as it was.
template <typename Call>
Outcome guarded_in_place(const std::u16string& source, size_t capacity, Call call) {
  std::vector<char16_t> buffer(std::max(source.size() + 1, capacity) + kGuardUnits, kGuard);
  std::copy(source.begin(), source.end(), buffer.begin());
  buffer[source.size()] = 0;
  const std::vector<char16_t> before = buffer;
  bool ok = call(buffer.data(), capacity);
  Outcome o{ok, u"", true};
  for (size_t i = capacity; i < buffer.size(); ++i) o.guard_intact &= buffer[i] == before[i];
  if (ok) {
    o.text = buffer.data();
  } else {
    o.guard_intact &= buffer == before;
  }
  return o;
}

std::u16string normalized(const std::u16string& source, size_t capacity = 1000) {
  Outcome o = guarded(capacity, [&](char16_t* d, size_t c) { return normalize_path(source.c_str(), d, c); });
  EXPECT_TRUE(o.guard_intact);
  return o.ok ? o.text : u"<fail>";
}

std::u16string resolved(const char16_t* base, const std::u16string& path, size_t capacity = 1000) {
  Outcome o = guarded(capacity, [&](char16_t* d, size_t c) { return resolve_path(base, path.c_str(), d, c); });
  EXPECT_TRUE(o.guard_intact);
  return o.ok ? o.text : u"<fail>";
}

// ---------------------------------------------------------------------------

struct RootCase {
  const char16_t* path;
  bool ok;
  size_t length;
  bool rooted;
  size_t name_start;
};

TEST(CmdlinePath, RootTable) {
  const RootCase cases[] = {
      {uR"(\\srv\share\x\y.exe)", true, 11, true, 14},
      {uR"(\\srv\share)", true, 11, true, 11},
      {u"//srv/share/", true, 11, true, 12},
      {uR"(\\?\C:\x)", true, 6, true, 7},
      {uR"(\\srv)", false, 0, false, 0},
      {uR"(\\srv\)", false, 0, false, 0},
      {uR"(\\\share)", false, 0, false, 0},
      {uR"(\\srv\\x)", false, 0, false, 0},
      {uR"(\\)", false, 0, false, 0},
      {uR"(\x\y)", true, 0, true, 3},
      {u"/x", true, 0, true, 1},
      {uR"(\)", true, 0, true, 1},
      {uR"(C:\x.exe)", true, 2, true, 3},
      {u"c:/a/b", true, 2, true, 5},
      {uR"(7:\)", true, 2, true, 3},
      {u"C:x", true, 2, false, 2},
      {u"C:", true, 2, false, 2},
      {uR"(x\y)", true, 0, false, 2},
      {u"", true, 0, false, 0},
      {u":x", true, 0, false, 0},
      // Letters outside ASCII are not drives, whatever a locale says.
      {u"\u00c9:\\x", true, 0, false, 3},
      {u"\uff21:\\x", true, 0, false, 3},
  };
  for (const RootCase& c : cases) {
    size_t length = 99, name_start = 99;
    bool rooted = false;
    bool ok = parse_path_root(c.path, &length, &rooted, &name_start);
    EXPECT_EQ(ok, c.ok) << escaped(c.path);
    if (!ok || !c.ok) continue;
    EXPECT_EQ(length, c.length) << escaped(c.path);
    EXPECT_EQ(rooted, c.rooted) << escaped(c.path);
    EXPECT_EQ(name_start, c.name_start) << escaped(c.path);
    EXPECT_TRUE(parse_path_root(c.path, nullptr, nullptr, nullptr));
  }
  EXPECT_TRUE(parse_path_root(nullptr, nullptr, nullptr, nullptr));
}

struct PathCase {
  const char16_t* in;
  const char16_t* out;
};

TEST(CmdlinePath, NormalizeTable) {
  const PathCase cases[] = {
      {u"C:/x/./y/../z", uR"(C:\x\z)"},
      {uR"(C:\a\b\..\c)", uR"(C:\a\c)"},
      {uR"(a//b\\c\)", uR"(a\b\c)"},
      {uR"(.\a\.)", u"a"},
      {u".", u""},
      {u"", u""},
      {uR"(C:\..\..)", uR"(C:\)"},
      {uR"(a\...\b)", uR"(..\b)"},
      {u"..", uR"(..\)"},
      {uR"(a\..\..)", uR"(..\)"},
      {uR"(..\..\a)", uR"(...\a)"},
      {uR"(\a\..\..\b)", uR"(\b)"},
      {uR"(\\srv\share)", uR"(\\srv\share\)"},
      {u"//srv/share/a/../..", uR"(\\srv\share\)"},
      {uR"(\\srv)", u"<fail>"},
      {uR"(\\\share)", u"<fail>"},
      {uR"(.x\..y\z..)", uR"(.x\..y\z..)"},
      {uR"(a\....)", uR"(...\)"},
      {uR"(..\a\..\..\b)", uR"(...\b)"},
      {u"C:", u"C:"},
      {uR"(C:a\..\b)", u"C:b"},
      {uR"(C:\)", uR"(C:\)"},
      {u"/", uR"(\)"},
      {u"//srv/share/x", uR"(\\srv\share\x)"},
      // A drive-relative path keeps its unmatched up-levels after the drive.
      {uR"(C:..\a)", uR"(C:..\a)"},
      {uR"(C:a\..\..\..)", uR"(C:...\)"},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(normalized(c.in), std::u16string(c.out)) << escaped(c.in);
    // The table agrees with the model, so the model can judge the random cases.
    ModelPath m = model_normalize(c.in);
    EXPECT_EQ(m.ok ? m.text : u"<fail>", std::u16string(c.out)) << "model: " << escaped(c.in);
  }
}

TEST(CmdlinePath, NormalizeInPlaceUsesTheWorkArea) {
  char16_t buffer[400] = u"C:/x/./y/../z";
  EXPECT_TRUE(normalize_path(buffer, buffer, 400));
  EXPECT_EQ(std::u16string(buffer), uR"(C:\x\z)");
  // In place the result must fit the 300-unit work area, whatever the
  // capacity says.
  std::u16string long_path = uR"(C:\)" + std::u16string(296, u'x');  // 299 units
  Outcome fits = guarded_in_place(long_path, 400, [&](char16_t* d, size_t c) { return normalize_path(d, d, c); });
  EXPECT_TRUE(fits.ok);
  EXPECT_EQ(fits.text, long_path);
  long_path += u'y';  // 300 units
  Outcome too_long = guarded_in_place(long_path, 400, [&](char16_t* d, size_t c) { return normalize_path(d, d, c); });
  EXPECT_FALSE(too_long.ok);
  EXPECT_TRUE(too_long.guard_intact);
  // Not in place, only the capacity counts.
  EXPECT_EQ(normalized(long_path, 400), long_path);
}

TEST(CmdlinePath, NormalizeRejectsNullDestination) {
  EXPECT_FALSE(normalize_path(u"a", nullptr, 10));
  EXPECT_FALSE(resolve_path(nullptr, u"a", nullptr, 10));
}

TEST(CmdlinePath, ResolveTable) {
  const char16_t* pf = uR"(C:\Program Files\X)";
  EXPECT_EQ(resolved(pf, u"tavrin"), uR"(C:\Program Files\X\tavrin)");
  EXPECT_EQ(resolved(pf, uR"(..\tavrin)"), uR"(C:\Program Files\tavrin)");
  EXPECT_EQ(resolved(pf, uR"(\foo)"), uR"(C:\foo)");
  EXPECT_EQ(resolved(pf, u"C:foo"), uR"(C:\Program Files\X\foo)");
  EXPECT_EQ(resolved(uR"(\\srv\sh\d)", uR"(\x)"), uR"(\\srv\sh\x)");
  EXPECT_EQ(resolved(pf, u""), uR"(C:\Program Files\X)");
  EXPECT_EQ(resolved(uR"(rel\dir)", u"x"), uR"(\x)");
  EXPECT_EQ(resolved(pf, uR"(D:\a\.\b)"), uR"(D:\a\b)");
  EXPECT_EQ(resolved(pf, uR"(\\s\h\..\x)"), uR"(\\s\h\x)");
  EXPECT_EQ(resolved(pf, uR"(..\..\..\x)"), uR"(C:\x)");
  EXPECT_EQ(resolved(uR"(C:\)", u"x"), uR"(C:\x)");
  EXPECT_EQ(resolved(uR"(C:\a\)", u"x"), uR"(C:\a\x)");
  EXPECT_EQ(resolved(uR"(\\srv\sh)", u"x"), uR"(\\srv\sh\x)");
  EXPECT_EQ(resolved(uR"(\\srv\sh\)", u".."), uR"(\\srv\sh\)");
  EXPECT_EQ(resolved(u"C:rel", u"x"), uR"(C:\x)");
  EXPECT_EQ(resolved(uR"(\top\d)", u"x"), uR"(\top\d\x)");
  EXPECT_EQ(resolved(uR"(\top\d)", uR"(\x)"), uR"(\x)");
  // A drive-relative path on a digit "drive" has no current directory.
  EXPECT_EQ(resolved(pf, u"5:x"), uR"(5:\x)");
  // Bases that give nothing, and malformed roots, fail.
  EXPECT_EQ(resolved(u"", u"x"), u"<fail>");
  EXPECT_EQ(resolved(uR"(a\..)", u"x"), u"<fail>");
  EXPECT_EQ(resolved(uR"(\\srv)", u"x"), u"<fail>");
  EXPECT_EQ(resolved(pf, uR"(\\srv)"), u"<fail>");
  // No base: the current directory.
  std::u16string cwd = current_directory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_EQ(resolved(nullptr, u"x"), model_normalize(cwd + uR"(\x)").text);
  EXPECT_EQ(resolved(nullptr, u""), model_normalize(cwd).text);
}

TEST(CmdlinePath, ResolveLimitsRelativeResultsToTheWorkArea) {
  std::u16string base = uR"(C:\)" + std::u16string(290, u'b');             // 293 units
  EXPECT_EQ(resolved(base.c_str(), u"xxxxx", 1000), base + uR"(\xxxxx)");  // 299
  EXPECT_EQ(resolved(base.c_str(), u"xxxxxx", 1000), u"<fail>");           // 300
  // Up-levels that bring the result back within the area make it fit.
  EXPECT_EQ(resolved(base.c_str(), std::u16string(20, u'z') + uR"(\..\..\y)", 1000), uR"(C:\y)");
  // Absolute paths are not resolved against anything and have no such limit.
  std::u16string absolute = uR"(D:\)" + std::u16string(400, u'a');
  EXPECT_EQ(resolved(base.c_str(), absolute, 1000), absolute);
}

TEST(CmdlinePath, ResolveInPlace) {
  char16_t buffer[300] = uR"(..\tavrin)";
  EXPECT_TRUE(resolve_path(uR"(C:\Program Files\X)", buffer, buffer, 300));
  EXPECT_EQ(std::u16string(buffer), uR"(C:\Program Files\tavrin)");
  // The destination may also be the base.
  char16_t base[300] = uR"(C:\a\b)";
  EXPECT_TRUE(resolve_path(base, u"c", base, 300));
  EXPECT_EQ(std::u16string(base), uR"(C:\a\b\c)");
}

// ---------------------------------------------------------------------------
// Random paths against the model at every capacity.

std::u16string random_path(TestRandom& r) {
  static const char16_t* kRoots[] = {u"",      u"",        u"",         uR"(\)",   u"/",           uR"(C:\)",
                                     u"c:/",   u"C:",      u"D:",       u"5:",     uR"(\\srv\sh)", u"//s/h/",
                                     uR"(\\)", uR"(\\\x)", uR"(\\srv)", u"\u00e9:"};
  static const char16_t* kParts[] = {u"a",   u"bc",        u".",  u"..",     u"...", u".x",
                                     u"..y", u"long-name", u"z.", u"\u00e9", u"...."};
  std::u16string p = kRoots[r.below(sizeof kRoots / sizeof kRoots[0])];
  uint32_t parts = r.below(7);
  for (uint32_t i = 0; i < parts; ++i) {
    if (i || r.below(3) == 0) p += r.below(4) ? uR"(\)" : (r.below(2) ? u"/" : uR"(\\)");
    p += kParts[r.below(sizeof kParts / sizeof kParts[0])];
  }
  if (r.below(5) == 0) p += u'\\';
  return p;
}

TEST(CmdlinePath, NormalizeFitsExactlyAtEveryCapacity) {
  TestRandom r(7);
  int checked = 0;
  for (int round = 0; round < 2000; ++round) {
    std::u16string source = random_path(r);
    ModelPath m = model_normalize(source);
    size_t top = std::max(source.size(), m.text.size()) + 3;
    for (size_t capacity = 0; capacity <= top; ++capacity) {
      SCOPED_TRACE(escaped(source) + " capacity " + std::to_string(capacity));
      bool fits = m.ok && m.text.size() + 1 <= capacity;
      Outcome o = guarded(capacity, [&](char16_t* d, size_t c) { return normalize_path(source.c_str(), d, c); });
      ASSERT_TRUE(o.guard_intact);
      ASSERT_EQ(o.ok, fits);
      if (fits) ASSERT_EQ(o.text, m.text);
      Outcome p = guarded_in_place(source, capacity, [&](char16_t* d, size_t c) { return normalize_path(d, d, c); });
      ASSERT_TRUE(p.guard_intact);
      ASSERT_EQ(p.ok, fits);
      if (fits) ASSERT_EQ(p.text, m.text);
      ++checked;
    }
  }
  EXPECT_GT(checked, 20000);
}

TEST(CmdlinePath, ResolveFitsExactlyAtEveryCapacity) {
  TestRandom r(11);
  int checked = 0;
  for (int round = 0; round < 2000; ++round) {
    std::u16string base = random_path(r);
    std::u16string path = random_path(r);
    const char16_t* base_arg = r.below(4) == 0 ? nullptr : base.c_str();
    bool limited = false;
    ModelPath m = model_resolve(base_arg, path, &limited);
    size_t top = m.text.size() + 3;
    for (size_t capacity = 0; capacity <= top; ++capacity) {
      SCOPED_TRACE("base " + (base_arg ? escaped(base) : std::string("(current)")) + " path " + escaped(path) +
                   " capacity " + std::to_string(capacity));
      bool fits = m.ok && m.text.size() + 1 <= capacity;
      Outcome o = guarded(capacity, [&](char16_t* d, size_t c) { return resolve_path(base_arg, path.c_str(), d, c); });
      ASSERT_TRUE(o.guard_intact);
      ASSERT_EQ(o.ok, fits);
      if (fits) ASSERT_EQ(o.text, m.text);
      Outcome p =
          guarded_in_place(path, capacity, [&](char16_t* d, size_t c) { return resolve_path(base_arg, d, d, c); });
      ASSERT_TRUE(p.guard_intact);
      ASSERT_EQ(p.ok, fits);
      if (fits) ASSERT_EQ(p.text, m.text);
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
