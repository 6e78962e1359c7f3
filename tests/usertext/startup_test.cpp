// Start-up as the launchers run it, once per process: the defaults are
// registered (reading the test-mode variable from the environment copy) and
// the locale settings stored over them. CTest runs this program several
// times with different environments and tells it what to expect:
//   USERTEXT_EXPECT_TEST_MODE  the catalog's test-mode value, decimal
//   USERTEXT_EXPECT_DECIMAL,
//   USERTEXT_EXPECT_THOUSANDS  (Windows) the locale's separators, UTF-8
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "support/system.h"
#include "text/wchar_cast.h"
#endif

#include "usertext/expand.h"
#include "usertext/locale_settings.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::S;

UsertextCatalog* started_catalog() {
  static UsertextCatalog* catalog = [] {
    register_usertext_defaults("Ardelon");
    LoadLocaleNumberSettings();
    return usertext_catalog_for_testing();
  }();
  return catalog;
}

std::string expectation(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::u16string decorated(const char16_t* key, const std::u16string& text, bool test_mode) {
  return test_mode ? u"(" + S(key) + u") " + text : text;
}

uint32_t expected_test_mode_value() {
  std::string value = expectation("USERTEXT_EXPECT_TEST_MODE");
  EXPECT_FALSE(value.empty()) << "USERTEXT_EXPECT_TEST_MODE must be set";
  return static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
}

bool expected_test_mode() { return expected_test_mode_value() != 0; }

TEST(UsertextStartup, TestModeFollowsTheEnvironment) {
  UsertextCatalog* catalog = started_catalog();
  ASSERT_NE(catalog, nullptr);
  bool test_mode = expected_test_mode();
  EXPECT_EQ(catalog->testMode, expected_test_mode_value());
  TextPool pool = nullptr;
  EXPECT_EQ(S(usertext_get(&pool, kApplicationName)), decorated(u"application_name", u"Ardelon", test_mode));
  EXPECT_EQ(
      S(usertext_format2(&pool, kErrorRunningCommand, u"2", u"tavrin.exe convert -g")),
      decorated(u"error_running_command", u"ERROR: 2  Unable to run command \"tavrin.exe convert -g\".\n", test_mode));
  // Keys without an entry are never decorated.
  EXPECT_EQ(S(usertext_get(&pool, u"missing_arg")), u"missing_arg");
  text_pool_free(&pool);
}

#ifdef _WIN32

// The answer of the real GetLocaleInfoW, as the loader reads it.
std::u16string system_answer(LCTYPE type, bool first_character_only) {
  wchar_t buffer[50];
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 50);
  EXPECT_GT(n, 0) << "locale query " << type;
  std::u16string text(from_wchar(buffer));
  if (first_character_only && text.size() > 1) text.resize(text[0] >= 0xD800 && text[0] <= 0xDBFF ? 2 : 1);
  return text;
}

TEST(UsertextStartup, LocaleKeysHoldWhatTheSystemReports) {
  UsertextCatalog* catalog = started_catalog();
  ASSERT_NE(catalog, nullptr);
  bool test_mode = expected_test_mode();

  std::u16string thousands = system_answer(LOCALE_STHOUSAND, true);
  std::u16string grouping = system_answer(LOCALE_SGROUPING, false);
  std::u16string decimal = system_answer(LOCALE_SDECIMAL, true);
  std::u16string time = system_answer(LOCALE_STIME, true);
  std::u16string sign = system_answer(LOCALE_SNEGATIVESIGN, true);
  DWORD mode = 1;
  ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_INEGNUMBER | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<wchar_t*>(&mode), sizeof(mode) / sizeof(wchar_t)),
            0);
  std::u16string negative;
  switch (mode) {
    case 0: negative = u"(%1)"; break;
    case 2: negative = sign + u" %1"; break;
    case 3: negative = u"%1" + sign; break;
    case 4: negative = u"%1 " + sign; break;
    default: negative = u"-%1"; break;
  }

  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleThousSep)), decorated(kLocaleThousSep, thousands, test_mode));
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleThousGrouping)), decorated(kLocaleThousGrouping, grouping, test_mode));
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleDecimal)), decorated(kLocaleDecimal, decimal, test_mode));
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleTimeSep)), decorated(kLocaleTimeSep, time, test_mode));
  // Mode 1 leaves the default, which is decorated as every default is.
  EXPECT_EQ(S(usertext_lookup(catalog, kLocaleNegFormat)), decorated(kLocaleNegFormat, negative, test_mode));

  // The locale in force is the one this run was started with, so runs with
  // different locales really see different values. Only Wine takes it from
  // LC_ALL, and only from its Unix environment; Windows from the user's
  // settings.
  if (!running_under_wine()) {
    GTEST_SKIP() << system_name() << " takes the locale from the user's settings, not from LC_ALL: the separators "
                 << "this run expects cannot be arranged (the values above match the system's)";
  }
  // A Windows parent (the test bundle's script in Wine's cmd.exe) passes
  // LC_ALL on in the Windows environment only.
  if (!expectation("LAUNCHERS_TEST_BUNDLE").empty()) {
    GTEST_SKIP() << "started by the test bundle's script: its LC_ALL does not reach Wine's Unix environment, so the "
                 << "locale this run expects is not in force";
  }
  std::string expected_decimal = expectation("USERTEXT_EXPECT_DECIMAL");
  std::string expected_thousands = expectation("USERTEXT_EXPECT_THOUSANDS");
  ASSERT_FALSE(expected_decimal.empty()) << "USERTEXT_EXPECT_DECIMAL must be set";
  ASSERT_FALSE(expected_thousands.empty()) << "USERTEXT_EXPECT_THOUSANDS must be set";
  EXPECT_EQ(decimal, u16(expected_decimal));
  EXPECT_EQ(thousands, u16(expected_thousands));
}

#endif

}  // namespace
