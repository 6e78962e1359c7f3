// Character-by-character conversion against the system's whole-string
// conversion, under Windows only (the native build has a stand-in page).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/utf.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

namespace {

// Random BMP text without surrogates or 0, drawn mostly from ranges where
// code pages differ: Latin, Greek, Cyrillic, CJK, symbols, private use.
std::u16string random_bmp_text(TestRandom& r, size_t max_length) {
  static const uint32_t kRanges[][2] = {{0x01, 0x7F},     {0x80, 0xFF},     {0x100, 0x24F},   {0x370, 0x4FF},
                                        {0x2000, 0x27FF}, {0x3000, 0x30FF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3},
                                        {0xE000, 0xF8FF}, {0xF900, 0xFFFF}, {0x01, 0xD7FF}};
  std::u16string text;
  size_t length = r.below(uint32_t(max_length) + 1);
  for (size_t i = 0; i < length; ++i) {
    const uint32_t* range = kRanges[r.below(11)];
    text += char16_t(range[0] + r.below(range[1] - range[0] + 1));
  }
  return text;
}

// The system's whole-string conversion with 0x7F for what the page cannot
// hold exactly (UTF-8 takes no flags and no default character).
std::string system_convert(UINT page, const std::u16string& text) {
  if (text.empty()) return std::string();
  bool utf8 = page == CP_UTF8 || (page == CP_ACP && GetACP() == CP_UTF8);
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* default_char = utf8 ? nullptr : "\x7F";
  int n = WideCharToMultiByte(page, flags, to_wchar(text.c_str()), int(text.size()), nullptr, 0, default_char, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(page, flags, to_wchar(text.c_str()), int(text.size()), &out[0], n, default_char, nullptr);
  return out;
}

std::string ours(UINT page, const std::u16string& text) {
  size_t n = wide_to_codepage(page, nullptr, 0, text.c_str(), kNoLimit);
  std::vector<char> buf(n + 1, '#');
  EXPECT_EQ(wide_to_codepage(page, buf.data(), buf.size(), text.c_str(), kNoLimit), n);
  EXPECT_EQ(buf[n], 0);
  return std::string(buf.data(), n);
}

TEST(TextCodepageWindows, AnsiPageMatchesWholeStringConversion) {
  TestRandom r(GetACP());
  int rounds = 300;
  for (int i = 0; i < rounds; ++i) {
    std::u16string text = random_bmp_text(r, 40);
    std::vector<char> buf(text.size() * 4 + 1);
    size_t n = wide_to_ansi(buf.data(), buf.size(), text.c_str());
    ASSERT_EQ(hex_bytes(std::string(buf.data(), n)), hex_bytes(system_convert(CP_ACP, text)))
        << "ANSI page " << GetACP() << " text " << escaped(text);
  }
}

// The same for a few pages the function may be handed, double-byte ones and
// UTF-8 among them, and the cut after the last whole character at every
// capacity.
TEST(TextCodepageWindows, PagesMatchAndCutWholeCharacters) {
  TestRandom r(932);
  int pages_tried = 0;
  for (UINT page : {1252u, 1251u, 932u, 936u, 949u, 950u, 65001u}) {
    if (!IsValidCodePage(page)) continue;
    ++pages_tried;
    for (int i = 0; i < 60; ++i) {
      std::u16string text = random_bmp_text(r, 24);
      std::string expected = system_convert(page, text);
      ASSERT_EQ(hex_bytes(ours(page, text)), hex_bytes(expected)) << "page " << page << " text " << escaped(text);
      // Character boundaries from converting each character alone.
      std::vector<size_t> sizes;
      for (char16_t c : text) sizes.push_back(system_convert(page, std::u16string(1, c)).size());
      for (size_t capacity = 1; capacity <= expected.size() + 1; ++capacity) {
        std::vector<char> buf(capacity + 1, '#');
        ASSERT_EQ(wide_to_codepage(page, buf.data(), capacity, text.c_str(), kNoLimit), expected.size());
        size_t keep = 0;
        for (size_t s : sizes) {
          if (keep + s >= capacity) break;
          keep += s;
        }
        ASSERT_EQ(hex_bytes(std::string(buf.data())), hex_bytes(expected.substr(0, keep)))
            << "page " << page << " capacity " << capacity << " text " << escaped(text);
        ASSERT_EQ(buf[capacity], '#');
      }
    }
  }
  EXPECT_GE(pages_tried, 2);
}

TEST(TextCodepageWindows, DoubleByteAndUnmappableCharactersInShiftJis) {
  if (!IsValidCodePage(932)) GTEST_SKIP() << "no code page 932";
  char buf[16];
  // U+3042 (hiragana a) is two bytes; U+00E9 has no exact form (best fit
  // would give 'e'); U+1F600 is beyond the BMP.
  EXPECT_EQ(wide_to_codepage(932, buf, sizeof buf, u"a\u3042\u00E9\U0001F600", kNoLimit), 5u);
  EXPECT_EQ(hex_bytes(buf), hex_bytes("a\x82\xA0\x7F\x7F"));
  EXPECT_EQ(wide_to_codepage(932, buf, 3, u"a\u3042", kNoLimit), 3u);
  EXPECT_EQ(hex_bytes(buf), hex_bytes("a"));
}

}  // namespace
#endif
