// The locale keys over the programmable native stand-in of the system's
// locale service.
#include <string>

#include "usertext/expand.h"
#include "usertext/locale_settings.h"
#include "usertext/system_native.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::S;
using usertext_test::UsertextFixture;

constexpr uint32_t kSign = 0x51, kMode = 0x1010, kThousand = 0x0F, kGrouping = 0x10, kDecimal = 0x0E, kTime = 0x1E;

struct Keys {
  std::u16string neg, thous, grouping, decimal, time;
  bool operator==(const Keys& o) const {
    return neg == o.neg && thous == o.thous && grouping == o.grouping && decimal == o.decimal && time == o.time;
  }
};

void PrintTo(const Keys& k, std::ostream* os) {
  *os << "{" << escaped(k.neg) << " | " << escaped(k.thous) << " | " << escaped(k.grouping) << " | "
      << escaped(k.decimal) << " | " << escaped(k.time) << "}";
}

class UsertextLocale : public UsertextFixture {
 protected:
  void SetUp() override {
    UsertextFixture::SetUp();
    start_over();
  }
  // A fresh stand-in and the defaults registered anew.
  void start_over() {
    catalog->textMap->ops->Clear(catalog->textMap);
    usertext_stand_in_reset();
    register_usertext_defaults("Ardelon");
  }
  void TearDown() override {
    usertext_stand_in_reset();
    UsertextFixture::TearDown();
  }
  Keys load() {
    LoadLocaleNumberSettings();
    return {S(usertext_lookup(catalog, kLocaleNegFormat)), S(usertext_lookup(catalog, kLocaleThousSep)),
            S(usertext_lookup(catalog, kLocaleThousGrouping)), S(usertext_lookup(catalog, kLocaleDecimal)),
            S(usertext_lookup(catalog, kLocaleTimeSep))};
  }
};

struct NegativeMode {
  uint32_t mode;
  const char16_t* sign;
  const char16_t* stored;
};

void PrintTo(const NegativeMode& c, std::ostream* os) { *os << c.mode << " " << escaped(S(c.sign)); }

class UsertextLocaleNegativeMode : public UsertextLocale, public ::testing::WithParamInterface<NegativeMode> {};

TEST_P(UsertextLocaleNegativeMode, StoresItsPattern) {
  usertext_stand_in_set_text(kSign, GetParam().sign);
  usertext_stand_in_set_number(kMode, GetParam().mode);
  EXPECT_EQ(load().neg, S(GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsertextLocaleNegativeMode,
    ::testing::Values(NegativeMode{0, u"-", u"(%1)"}, NegativeMode{1, u"-", u"-%1"}, NegativeMode{2, u"-", u"- %1"},
                      NegativeMode{3, u"-", u"%1-"}, NegativeMode{4, u"-", u"%1 -"}, NegativeMode{5, u"-", u"-%1"},
                      NegativeMode{0xFFFFFFFF, u"-", u"-%1"}, NegativeMode{2, u"\u2212", u"\u2212 %1"},
                      NegativeMode{4, u"\u2212", u"%1 \u2212"},
                      // Mode 1 keeps the default even with another sign.
                      NegativeMode{1, u"~", u"-%1"},
                      // Only the sign's first character counts; a pair stays whole.
                      NegativeMode{3, u"neg", u"%1n"}, NegativeMode{3, u"\U0001D7CEx", u"%1\U0001D7CE"},
                      // An empty sign is empty in the pattern too.
                      NegativeMode{2, u"", u" %1"}));

TEST_F(UsertextLocale, StoredPatternsTakeTheNumberOnExpansion) {
  usertext_stand_in_set_number(kMode, 0);
  load();
  const char16_t* args[] = {u"42"};
  EXPECT_EQ(S(usertext_format(&pool, kLocaleNegFormat, 1, args)), u"(42)");
  usertext_stand_in_set_number(kMode, 3);
  usertext_stand_in_set_text(kSign, u"%");
  load();
  // The sign is stored as given; expanded, a lone % at the end vanishes.
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleNegFormat)), u"%1%");
  EXPECT_EQ(S(usertext_format(&pool, kLocaleNegFormat, 1, args)), u"42");
}

TEST_F(UsertextLocale, SeparatorsKeepTheirFirstCharacterAndGroupingStaysWhole) {
  usertext_stand_in_set_text(kThousand, u"\u00a0\u00a0");
  usertext_stand_in_set_text(kGrouping, u"3;2;0");
  usertext_stand_in_set_text(kDecimal, u",.");
  usertext_stand_in_set_text(kTime, u"h");
  Keys expected = {u"-%1", u"\u00a0", u"3;2;0", u",", u"h"};
  EXPECT_EQ(load(), expected);

  usertext_stand_in_set_text(kThousand, u"");
  usertext_stand_in_set_text(kDecimal, u"\U00010000\u00b7");
  std::u16string grouping(49, u'9');
  usertext_stand_in_set_text(kGrouping, grouping.c_str());
  expected = {u"-%1", u"", grouping, u"\U00010000", u"h"};
  EXPECT_EQ(load(), expected);
}

TEST_F(UsertextLocale, EnglishAnswersLeaveTheDefaults) {
  Keys defaults = {u"-%1", u",", u"3;0", u".", u":"};
  EXPECT_EQ(load(), defaults);
  EXPECT_EQ(usertext_stand_in_query_count(), 6);
}

TEST_F(UsertextLocale, FailedQueriesKeepWhatWasThere) {
  usertext_stand_in_fail_all();
  Keys defaults = {u"-%1", u",", u"3;0", u".", u":"};
  EXPECT_EQ(load(), defaults);
  // All six queries are still made.
  EXPECT_EQ(usertext_stand_in_query_count(), 6);

  // One failure does not stop the others; a failed sign query means "-".
  usertext_stand_in_reset();
  usertext_stand_in_set_text(kSign, nullptr);
  usertext_stand_in_set_number(kMode, 4);
  usertext_stand_in_set_text(kDecimal, nullptr);
  usertext_stand_in_set_text(kThousand, u"'");
  Keys expected = {u"%1 -", u"'", u"3;0", u".", u":"};
  EXPECT_EQ(load(), expected);

  // A failed mode query means mode 1: nothing stored.
  start_over();
  usertext_stand_in_set_text(kSign, u"~");
  usertext_stand_in_set_text(kMode, u"3");  // a text answer to a number query fails
  EXPECT_EQ(load().neg, u"-%1");

  // An answer longer than the 50-unit buffer fails the query.
  start_over();
  std::u16string long_grouping(50, u'3');
  usertext_stand_in_set_text(kGrouping, long_grouping.c_str());
  EXPECT_EQ(load().grouping, u"3;0");
}

TEST_F(UsertextLocale, ValuesFromAnEarlierLoadStayWhenALaterQueryFails) {
  usertext_stand_in_set_text(kDecimal, u",");
  usertext_stand_in_set_number(kMode, 0);
  load();
  usertext_stand_in_fail_all();
  Keys expected = {u"(%1)", u",", u"3;0", u",", u":"};
  EXPECT_EQ(load(), expected);
}

TEST_F(UsertextLocale, TestModeDecoratesTheLocaleTexts) {
  catalog->testMode = 1;
  usertext_stand_in_set_text(kDecimal, u",");
  usertext_stand_in_set_number(kMode, 2);
  Keys expected = {u"(locale_neg_format) - %1", u"(locale_thous_sep) ,", u"(locale_thous_grouping) 3;0",
                   u"(locale_decimal) ,", u"(locale_time_sep) :"};
  EXPECT_EQ(load(), expected);
}

}  // namespace
