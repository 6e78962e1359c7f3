#include "usertext/catalog.h"

#include <string>

#include "usertext/expand.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::AllocationGuard;
using usertext_test::RecordingSink;
using usertext_test::S;
using usertext_test::SinkCall;
using usertext_test::UsertextFixture;

class UsertextCatalogTest : public UsertextFixture {};

TEST_F(UsertextCatalogTest, LookupOfAnUnstoredKeyIsTheKeyItself) {
  const char16_t* key = u"never_stored_anywhere";
  EXPECT_EQ(usertext_lookup(catalog, key), key);
  EXPECT_EQ(usertext_lookup(nullptr, key), key);
}

TEST_F(UsertextCatalogTest, KeysIgnoreAsciiLetterCase) {
  usertext_set(u"locale_decimal", u".");
  usertext_set(u"Locale_Decimal", u",");
  EXPECT_EQ(S(usertext_lookup(catalog, u"LOCALE_DECIMAL")), u",");
  EXPECT_EQ(S(usertext_lookup(catalog, u"locale_decimal")), u",");
  const char16_t* key = nullptr;
  catalog->textMap->ops->First(catalog->textMap, &key);
  EXPECT_EQ(S(key), u"Locale_Decimal");
  EXPECT_EQ(catalog->textMap->ops->Next(catalog->textMap, &key), nullptr);
  // Only ASCII letters fold.
  usertext_set(u"\u00e9", u"small");
  usertext_set(u"\u00c9", u"capital");
  EXPECT_EQ(S(usertext_lookup(catalog, u"\u00e9")), u"small");
}

TEST_F(UsertextCatalogTest, SetAndDefineReturnTheKeyUnchanged) {
  const char16_t* key = u"some_key";
  EXPECT_EQ(usertext_set(key, u"v"), key);
  EXPECT_EQ(usertext_define(key, "w"), key);
  EXPECT_EQ(S(usertext_lookup(catalog, key)), u"w");
  // The map keeps its own copy.
  char16_t text[] = u"mutable";
  usertext_set(key, text);
  text[0] = u'X';
  EXPECT_EQ(S(usertext_lookup(catalog, key)), u"mutable");
}

TEST_F(UsertextCatalogTest, DefineConvertsUtf8AroundTheLocalBuffer) {
  // Lengths around the 50-unit local buffer, with multi-byte characters in
  // the last places so a cut character would show.
  for (size_t units : {size_t(1), size_t(48), size_t(49), size_t(50), size_t(51), size_t(300)}) {
    std::string utf8_text(units - 1, 'd');
    utf8_text += "\xe2\x82\xac";  // U+20AC
    std::u16string expected(units - 1, u'd');
    expected += u'\u20ac';
    usertext_define(u"long", utf8_text.c_str());
    EXPECT_EQ(S(usertext_lookup(catalog, u"long")), expected) << units;
  }
  usertext_define(u"mixed",
                  "Gr\xc3\xbc\xc3\x9f"
                  "e \xf0\x9f\x98\x80!");
  EXPECT_EQ(S(usertext_lookup(catalog, u"mixed")), u"Gr\u00fc\u00dfe \U0001F600!");
  usertext_define(u"bad",
                  "a\xff"
                  "b");
  EXPECT_EQ(S(usertext_lookup(catalog, u"bad")), u"a\uffffb");
  usertext_define(u"none", "");
  EXPECT_EQ(S(usertext_lookup(catalog, u"none")), u"");
}

TEST_F(UsertextCatalogTest, LongDefaultWithoutMemoryIsStoredEmpty) {
  std::string long_text(80, 'x');
  {
    AllocationGuard refuse_all(0);
    usertext_define(u"long", long_text.c_str());
    usertext_define(u"short", "fits the local buffer");
  }
  EXPECT_EQ(S(usertext_lookup(catalog, u"long")), u"");
  EXPECT_EQ(S(usertext_lookup(catalog, u"short")), u"fits the local buffer");
}

TEST_F(UsertextCatalogTest, TestModeDecoratesEveryStore) {
  catalog->testMode = 1;
  usertext_define(u"application_name", "Ardelon");
  usertext_set(u"Other", u"text");
  usertext_set(u"empty", u"");
  std::string long_text(120, 'y');
  usertext_define(u"long", long_text.c_str());
  EXPECT_EQ(S(usertext_lookup(catalog, u"application_name")), u"(application_name) Ardelon");
  EXPECT_EQ(S(usertext_lookup(catalog, u"other")), u"(Other) text");
  EXPECT_EQ(S(usertext_lookup(catalog, u"empty")), u"(empty) ");
  EXPECT_EQ(S(usertext_lookup(catalog, u"long")), u"(long) " + std::u16string(120, u'y'));
  // Any non-zero value counts.
  catalog->testMode = 0x80000000u;
  usertext_set(u"x", u"y");
  EXPECT_EQ(S(usertext_lookup(catalog, u"x")), u"(x) y");
  catalog->testMode = 0;
  usertext_set(u"x", u"y");
  EXPECT_EQ(S(usertext_lookup(catalog, u"x")), u"y");
}

TEST_F(UsertextCatalogTest, DefaultsTable) {
  register_usertext_defaults("Ardelon");
  struct Row {
    const char16_t* key;
    const char16_t* constant;
    const char16_t* text;
  } rows[] = {
      {u"application_name", kApplicationName, u"Ardelon"},
      {u"error_running_command", kErrorRunningCommand, u"ERROR: %1  Unable to run command \"%2\".\n"},
      {u"locale_neg_format", kLocaleNegFormat, u"-%1"},
      {u"locale_thous_sep", kLocaleThousSep, u","},
      {u"locale_thous_grouping", kLocaleThousGrouping, u"3;0"},
      {u"locale_decimal", kLocaleDecimal, u"."},
      {u"locale_time_sep", kLocaleTimeSep, u":"},
  };
  size_t entries = 0;
  const char16_t* key = nullptr;
  for (auto* v = catalog->textMap->ops->First(catalog->textMap, &key); v;
       v = catalog->textMap->ops->Next(catalog->textMap, &key)) {
    ++entries;
  }
  EXPECT_EQ(entries, 7u);
  for (const Row& row : rows) {
    EXPECT_EQ(S(row.constant), S(row.key));
    EXPECT_EQ(S(usertext_lookup(catalog, row.key)), S(row.text)) << utf8(row.key);
  }
  register_usertext_defaults("Morvisk");
  EXPECT_EQ(S(usertext_get(&pool, kApplicationName)), u"Morvisk");
  EXPECT_EQ(S(usertext_format2(&pool, kErrorRunningCommand, u"2", u"cmd")),
            u"ERROR: 2  Unable to run command \"cmd\".\n");
}

TEST_F(UsertextCatalogTest, DefaultsInTestMode) {
  catalog->testMode = 1;
  register_usertext_defaults("Ardelon");
  EXPECT_EQ(S(usertext_get(&pool, kApplicationName)), u"(application_name) Ardelon");
  EXPECT_EQ(S(usertext_format2(&pool, kErrorRunningCommand, u"5", u"c")),
            u"(error_running_command) ERROR: 5  Unable to run command \"c\".\n");
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleTimeSep)), u"(locale_time_sep) :");
}

TEST_F(UsertextCatalogTest, WithoutACatalogNothingIsStoredAndTheNextCallRetries) {
  ReleaseUsertextCatalog();
  EXPECT_EQ(usertext_catalog_for_testing(), nullptr);
  ReleaseUsertextCatalog();  // a second release does nothing
  {
    AllocationGuard refuse_all(0);
    EXPECT_EQ(EnsureUsertextCatalog(), nullptr);
    const char16_t* key = u"k";
    EXPECT_EQ(usertext_define(key, "v"), key);
    EXPECT_EQ(usertext_set(key, u"v"), key);
    EXPECT_EQ(usertext_catalog_for_testing(), nullptr);
  }
  catalog = EnsureUsertextCatalog();
  ASSERT_NE(catalog, nullptr);
  EXPECT_EQ(usertext_catalog_for_testing(), catalog);
  catalog->testMode = 0;
  EXPECT_EQ(catalog->inner_sink, nullptr);
  EXPECT_EQ(catalog->textMap->count, 1);
  const char16_t* first_key = u"x";
  EXPECT_EQ(catalog->textMap->ops->First(catalog->textMap, &first_key), nullptr);
  EXPECT_EQ(first_key, nullptr);
}

TEST_F(UsertextCatalogTest, MessageOutputGoesLineByLineToTheInnerSink) {
  RecordingSink sink{{&usertext_test::kRecordingOps}, {}};
  catalog->output->print(catalog, u"no sink yet\n");
  catalog->inner_sink = &sink.base;
  catalog->output->print(catalog, u"one\r\ntwo");
  catalog->output->error(catalog, u"three\n");
  catalog->inner_sink = nullptr;
  std::vector<SinkCall> expected = {{u"one", true, nullptr}, {u"two", false, nullptr}, {u"three", true, nullptr}};
  EXPECT_EQ(sink.calls, expected);
}

}  // namespace
