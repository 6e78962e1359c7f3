// Unicode simple case folding: the generated tables, fold_case and
// compare_folded_n.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/compare.h"
#include "text/fold_tables.h"

namespace {

constexpr size_t kBmpPairs = 434;
constexpr size_t kSupplementaryPairs = 40;
constexpr size_t kBmpSlots = sizeof(kFoldBmp) / sizeof(kFoldBmp[0]);
constexpr size_t kSupplementarySlots = sizeof(kFoldSupplementary) / sizeof(kFoldSupplementary[0]);

// The folding as a plain linear look-up over the tables, for comparison with
// the bisection.
uint32_t fold_by_scan(uint32_t cp) {
  if (cp < 0x800) return kFoldDirect[cp];
  if (cp <= 0xFFFF) {
    for (size_t i = 0; i < kBmpPairs; ++i)
      if (kFoldBmp[i][0] == cp) return kFoldBmp[i][1];
    return cp;
  }
  for (size_t i = 0; i < kSupplementaryPairs; ++i)
    if (kFoldSupplementary[i][0] == cp) return kFoldSupplementary[i][1];
  return cp;
}

TEST(TextFoldTables, SizesCountsAndSentinels) {
  ASSERT_EQ(kBmpSlots, 448u);
  ASSERT_EQ(kSupplementarySlots, 48u);
  ASSERT_EQ(sizeof(kFoldDirect) + sizeof(kFoldBmp) + sizeof(kFoldSupplementary), 4096u + 1792u + 384u);

  size_t direct_changes = 0;
  for (uint32_t i = 0; i < 0x800; ++i) direct_changes += kFoldDirect[i] != i;
  EXPECT_EQ(direct_changes, 460u);

  for (size_t i = 0; i < kBmpSlots; ++i) {
    SCOPED_TRACE(i);
    if (i < kBmpPairs) {
      EXPECT_GE(kFoldBmp[i][0], 0x800u);
      EXPECT_LT(kFoldBmp[i][0], 0xFFFFu);
      EXPECT_NE(kFoldBmp[i][0], kFoldBmp[i][1]);
      if (i > 0) EXPECT_LT(kFoldBmp[i - 1][0], kFoldBmp[i][0]);
    } else {
      EXPECT_EQ(kFoldBmp[i][0], 0xFFFFu);
      EXPECT_EQ(kFoldBmp[i][1], 0xFFFFu);
    }
  }
  for (size_t i = 0; i < kSupplementarySlots; ++i) {
    SCOPED_TRACE(i);
    if (i < kSupplementaryPairs) {
      // The Deseret capitals and their small letters.
      EXPECT_EQ(kFoldSupplementary[i][0], 0x10400u + i);
      EXPECT_EQ(kFoldSupplementary[i][1], 0x10428u + i);
    } else {
      EXPECT_EQ(kFoldSupplementary[i][0], 0xFFFFFFFFu);
      EXPECT_EQ(kFoldSupplementary[i][1], 0xFFFFFFFFu);
    }
  }
}

TEST(TextFoldTables, EveryFoldingIsIdempotentAndStaysInItsRange) {
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    uint32_t folded = fold_case(cp);
    ASSERT_EQ(fold_case(folded), folded) << std::hex << cp;
    // Simple folding never leaves the BMP or enters it.
    ASSERT_EQ(cp <= 0xFFFF, folded <= 0xFFFF) << std::hex << cp;
    // Surrogates and non-characters fold to themselves.
    if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp & 0xFFFE) == 0xFFFE) ASSERT_EQ(folded, cp) << std::hex << cp;
  }
}

TEST(TextFold, BisectionAgreesWithLinearScanEverywhere) {
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) ASSERT_EQ(fold_case(cp), fold_by_scan(cp)) << std::hex << cp;
  // Beyond Unicode: the search must stay inside the table and return the input.
  const uint32_t big[] = {0x110000u, 0x10000000u, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu};
  for (uint32_t cp : big) EXPECT_EQ(fold_case(cp), cp) << std::hex << cp;
}

TEST(TextFold, KnownFoldings) {
  struct Case {
    uint32_t from, to;
  };
  const Case cases[] = {
      {0x0041, 0x0061},
      {0x005A, 0x007A},
      {0x0061, 0x0061},
      {0x0040, 0x0040},
      {0x005B, 0x005B},
      {0x00B5, 0x03BC},
      {0x017F, 0x0073},
      {0x212A, 0x006B},
      {0x212B, 0x00E5},
      {0x03A3, 0x03C3},
      {0x03C2, 0x03C3},
      {0x10A0, 0x2D00},
      {0x10C5, 0x2D25},
      {0xFF21, 0xFF41},
      {0xFF3A, 0xFF5A},
      {0x10400, 0x10428},
      {0x10427, 0x1044F},
      {0x10428, 0x10428},
      // Full and Turkic foldings are not used.
      {0x00DF, 0x00DF},
      {0x0130, 0x0130},
      {0x0149, 0x0149},
      {0x0049, 0x0069},
      {0x0131, 0x0131},
      // Status S: the simple form of a character with a full folding.
      {0x1F88, 0x1F80},
      {0x1FBC, 0x1FB3},
      {0x1E9B, 0x1E61},
      // Latin, Greek, Cyrillic, Armenian in the direct table; edges of its range.
      {0x00C0, 0x00E0},
      {0x00D7, 0x00D7},
      {0x0178, 0x00FF},
      {0x0391, 0x03B1},
      {0x0410, 0x0430},
      {0x0400, 0x0450},
      {0x0531, 0x0561},
      {0x07FF, 0x07FF},
      {0x0800, 0x0800},
      // Unicode 4.1 scripts (Glagolitic, Coptic) are in; later additions are not.
      {0x2C00, 0x2C30},
      {0x2C80, 0x2C81},
      {0x1E9E, 0x1E9E},
      {0x0370, 0x0370},
      {0xA640, 0xA640},
      {0x2C6D, 0x2C6D},
      {0xA779, 0xA779},
      {0x10C7, 0x10C7},
      {0x13F8, 0x13F8},
      {0xAB70, 0xAB70},
      {0x1C80, 0x1C80},
      {0x104B0, 0x104B0},
      {0x1E900, 0x1E900},
      {0x10C80, 0x10C80},
      // The sentinel key itself.
      {0xFFFF, 0xFFFF},
      {0xFFFE, 0xFFFE},
  };
  for (const Case& c : cases) EXPECT_EQ(fold_case(c.from), c.to) << std::hex << "U+" << c.from;
}

// --- the tables against the Unicode data files, when the machine has them ---

bool read_lines(const char* path, std::vector<std::string>* lines) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, f)) {
    std::string line = buffer;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (line.find(';') != std::string::npos) lines->push_back(line);
  }
  std::fclose(f);
  return true;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  size_t e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

TEST(TextFoldTables, MatchUnicodeDataFiles) {
  std::vector<std::string> folding_lines, age_lines;
  if (!read_lines("/usr/share/unicode/CaseFolding.txt", &folding_lines) ||
      !read_lines("/usr/share/unicode/DerivedAge.txt", &age_lines)) {
    GTEST_SKIP() << "Unicode data files not readable here";
  }
  // Code points assigned in 5.0 or earlier.
  std::vector<bool> old(0x110000, false);
  for (const std::string& line : age_lines) {
    size_t semi = line.find(';');
    std::string range = trim(line.substr(0, semi));
    std::string age = trim(line.substr(semi + 1));
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(age.c_str(), "%d.%d", &major, &minor), 2) << line;
    unsigned first = 0, last = 0;
    size_t dots = range.find("..");
    first = unsigned(std::stoul(range.substr(0, dots), nullptr, 16));
    last = dots == std::string::npos ? first : unsigned(std::stoul(range.substr(dots + 2), nullptr, 16));
    if (major < 5 || (major == 5 && minor == 0))
      for (unsigned cp = first; cp <= last; ++cp) old[cp] = true;
  }
  std::map<uint32_t, uint32_t> expected;
  for (const std::string& line : folding_lines) {
    std::vector<std::string> fields;
    size_t start = 0, semi;
    while ((semi = line.find(';', start)) != std::string::npos) {
      fields.push_back(trim(line.substr(start, semi - start)));
      start = semi + 1;
    }
    ASSERT_GE(fields.size(), 3u) << line;
    if (fields[1] != "C" && fields[1] != "S") continue;
    uint32_t cp = uint32_t(std::stoul(fields[0], nullptr, 16));
    if (!old[cp]) continue;
    expected[cp] = uint32_t(std::stoul(fields[2], nullptr, 16));
  }
  ASSERT_EQ(expected.size(), 460u + 434u + 40u);
  size_t differences = 0;
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    auto it = expected.find(cp);
    uint32_t want = it == expected.end() ? cp : it->second;
    if (fold_case(cp) != want && ++differences < 10)
      ADD_FAILURE() << std::hex << "U+" << cp << " folds to " << fold_case(cp) << ", data files say " << want;
  }
  EXPECT_EQ(differences, 0u);
}

// --- compare_folded_n -------------------------------------------------------

TEST(TextFold, CompareFoldedCases) {
  struct Case {
    std::u16string a;
    size_t a_length;
    std::u16string b;
    size_t b_length;
    int expected;
  };
  const Case cases[] = {
      {u"PATH", 4, u"path", 4, 0},
      {u"Path", 4, u"PathExt", 7, -1},
      {u"PathExt", 7, u"Path", 4, 1},
      {u"", 0, u"", 0, 0},
      {u"x", 0, u"", 0, 0},
      {u"", 0, u"a", 1, -1},
      {u"a", 1, u"", 0, 1},
      {u"PATHEXT", 4, u"path", 4, 0},  // only the given lengths count
      {std::u16string(u"a\0b", 3), 3, std::u16string(u"A\0B", 3), 3, 0},
      {std::u16string(u"a\0b", 3), 3, std::u16string(u"A\0C", 3), 3, -1},
      {std::u16string(u"a\0", 2), 2, u"a", 1, 1},  // a 0 unit is a unit, not an end
      {u"\u03A3\u039F\u03A6\u039F\u03A3", 5, u"\u03C3\u03BF\u03C6\u03BF\u03C2", 5, 0},  // ΣΟΦΟΣ / σοφος
      {u"\u0416\u0443\u043A", 3, u"\u0436\u0423\u041A", 3, 0},                          // Cyrillic
      {u"\u212Aelvin", 6, u"kELVIN", 6, 0},
      {u"\u00B5", 1, u"\u039C", 1, 0},
      {u"\u00DF", 1, u"ss", 2, 1},  // no full folding: U+00DF > 's'
      {u"\u0130", 1, u"i", 1, 1},
      {u"\uFF21\uFF22", 2, u"\uFF41\uFF42", 2, 0},
      // Folded values compare unsigned: 'a' (from 'A') < '[' is false.
      {u"A", 1, u"[", 1, 1},
      {u"_", 1, u"a", 1, -1},
      // Surrogates fold as themselves, unit by unit: Deseret capital and small
      // letters differ here.
      {u"\U00010400", 2, u"\U00010428", 2, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(escaped(c.a) + " / " + escaped(c.b));
    EXPECT_EQ(compare_folded_n(c.a.data(), c.a_length, c.b.data(), c.b_length), c.expected);
  }
}

// Code units that fold together, grouped by their folding (from the tables).
std::map<uint32_t, std::vector<char16_t>> case_classes() {
  std::map<uint32_t, std::vector<char16_t>> classes;
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    uint32_t f = fold_case(u);
    if (f != u) classes[f].push_back(char16_t(u));
  }
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    auto it = classes.find(u);
    if (it != classes.end() && std::find(it->second.begin(), it->second.end(), char16_t(u)) == it->second.end())
      it->second.push_back(char16_t(u));
  }
  return classes;
}

int folded_model(const std::u16string& a, const std::u16string& b) {
  std::vector<uint32_t> x, y;
  for (char16_t c : a) x.push_back(fold_case(c));
  for (char16_t c : b) y.push_back(fold_case(c));
  if (x == y) return 0;
  return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end()) ? -1 : 1;
}

TEST(TextFold, CompareFoldedProperties) {
  auto classes = case_classes();
  std::vector<std::vector<char16_t>> class_list;
  for (auto& entry : classes) class_list.push_back(entry.second);
  ASSERT_GT(class_list.size(), 800u);

  // An alphabet of case-paired letters, plain units and 0.
  TestRandom rnd(20240601);
  auto random_unit = [&]() -> char16_t {
    switch (rnd.below(4)) {
      case 0: {
        const auto& cls = class_list[rnd.below(uint32_t(class_list.size()))];
        return cls[rnd.below(uint32_t(cls.size()))];
      }
      case 1: return char16_t(u'A' + rnd.below(6));
      case 2: return char16_t(u'a' + rnd.below(6));
      default: return char16_t(rnd.below(4) ? rnd.below(0x10000) : 0);
    }
  };
  auto random_text = [&]() {
    std::u16string s;
    for (uint32_t n = rnd.below(8); n > 0; --n) s.push_back(random_unit());
    return s;
  };
  // Another spelling of the same text: each unit replaced by a unit of its class.
  auto respell = [&](const std::u16string& s) {
    std::u16string r = s;
    for (char16_t& c : r) {
      auto it = classes.find(fold_case(c));
      if (it != classes.end()) c = it->second[rnd.below(uint32_t(it->second.size()))];
    }
    return r;
  };

  for (int round = 0; round < 20000; ++round) {
    std::u16string a = random_text();
    std::u16string b = rnd.below(3) == 0 ? respell(a) : random_text();
    if (rnd.below(4) == 0) b = respell(a) + random_text();
    SCOPED_TRACE(escaped(a) + " / " + escaped(b));
    int ab = compare_folded_n(a.data(), a.size(), b.data(), b.size());
    int ba = compare_folded_n(b.data(), b.size(), a.data(), a.size());
    ASSERT_EQ(ab, folded_model(a, b));
    ASSERT_EQ(ab, -ba);
    ASSERT_EQ(compare_folded_n(a.data(), a.size(), a.data(), a.size()), 0);
    std::u16string a2 = respell(a);
    ASSERT_EQ(compare_folded_n(a.data(), a.size(), a2.data(), a2.size()), 0) << escaped(a2);
    ASSERT_EQ(compare_folded_n(a2.data(), a2.size(), b.data(), b.size()), ab);
  }
}

TEST(TextFold, CompareFoldedReadsOnlyTheGivenUnits) {
  // Exactly sized heap arrays without terminators: a read past either length
  // is caught by the address sanitizer in the native tree.
  TestRandom rnd(77);
  for (int round = 0; round < 2000; ++round) {
    size_t na = rnd.below(6), nb = rnd.below(6);
    std::unique_ptr<char16_t[]> a(new char16_t[na ? na : 1]);
    std::unique_ptr<char16_t[]> b(new char16_t[nb ? nb : 1]);
    for (size_t i = 0; i < na; ++i) a[i] = char16_t(u'A' + rnd.below(3));
    for (size_t i = 0; i < nb; ++i) b[i] = char16_t(u'a' + rnd.below(3));
    int r = compare_folded_n(a.get(), na, b.get(), nb);
    ASSERT_EQ(r, folded_model(std::u16string(a.get(), na), std::u16string(b.get(), nb)));
  }
}

}  // namespace
