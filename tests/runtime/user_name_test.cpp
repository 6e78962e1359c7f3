// The user name query and its cached copy, and the native call table, against
// the real GetUserNameW and ntdll under Wine.
//
// Which name GetUserNameW gives cannot be chosen on Windows. Wine takes it
// from the WINEUSERNAME variable of the calling process, which these cases set
// to the names they need; on Windows the cases with chosen names are skipped
// and only the comparison with the real name runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/cached_user_name.h"
#include "cmdline/process_info_cache.h"
#include "runtime/nt_api.h"
#include "runtime/user_name.h"
#include "support/system.h"
#include "support/test_support.h"
#include "support/windows_process.h"

namespace {

// GetUserNameW's own answer with plenty of room; empty when it fails.
std::u16string system_user_name() {
  std::vector<wchar_t> name(1000, 0);
  DWORD size = DWORD(name.size());
  if (!GetUserNameW(name.data(), &size)) return u"";
  return u16(name.data());
}

// Sets WINEUSERNAME for the life of the object.
class ChosenUserName {
 public:
  explicit ChosenUserName(const std::u16string& name) : variable_(u"WINEUSERNAME", name) {
    took_effect_ = system_user_name() == name;
    if (running_under_wine()) EXPECT_TRUE(took_effect_) << system_name() << " ignored WINEUSERNAME";
  }
  bool took_effect() const { return took_effect_; }

 private:
  ScopedVariable variable_;
  bool took_effect_ = false;
};

// Checks QueryUserName against `expected` for every size up to beyond its
// length: the length is always the full one, at most size-1 units are
// copied and terminated, the rest of the buffer up to `size` is zeroed, and
// nothing beyond `size` is touched.
void check_copies(const std::u16string& expected) {
  const char16_t kGuard = 0xAAAA;
  EXPECT_EQ(QueryUserName(nullptr, 0), expected.size());
  EXPECT_EQ(QueryUserName(nullptr, 50), expected.size());
  for (size_t size = 0; size <= expected.size() + 3; ++size) {
    SCOPED_TRACE(size);
    std::vector<char16_t> buffer(size + 4, kGuard);
    ASSERT_EQ(QueryUserName(buffer.data(), size), expected.size());
    size_t copied = size == 0 ? 0 : std::min(expected.size(), size - 1);
    EXPECT_EQ(std::u16string(buffer.data(), copied), expected.substr(0, copied));
    for (size_t i = copied; i < size; ++i) EXPECT_EQ(buffer[i], 0) << "unit " << i;
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kGuard) << "unit " << i;
  }
}

TEST(RuntimeUserName, AgreesWithGetUserNameW) {
  std::u16string name = system_user_name();
  std::u16string expected = name.empty() || name.size() >= 200 ? u"?" : name;
  SCOPED_TRACE(utf8(expected));
  check_copies(expected);
}

TEST(RuntimeUserName, FiveLetterNameCutToThreeLetters) {
  ChosenUserName chosen(u"admin");
  if (!chosen.took_effect()) GTEST_SKIP() << "the user name cannot be chosen on " << system_name();
  char16_t buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(QueryUserName(buffer, 4), 5u);
  EXPECT_EQ(std::u16string(buffer), u"adm");
  EXPECT_EQ(buffer[4], u'x');
}

TEST(RuntimeUserName, ChosenNamesOfEveryKind) {
  const std::u16string names[] = {
      u"a",           u"admin",      u"Jos\u00e9 M\u00fcller",  u"\u7528\u6237",
      u"\U0001F600x", u"with space", std::u16string(198, u'n'), std::u16string(199, u'n'),
  };
  for (const std::u16string& name : names) {
    SCOPED_TRACE(escaped(name.substr(0, 20)));
    ChosenUserName chosen(name);
    if (!chosen.took_effect()) GTEST_SKIP() << "the user name cannot be chosen on " << system_name();
    check_copies(name);
  }
}

TEST(RuntimeUserName, NameTooLongForTwoHundredUnitsReadsAsQuestionMark) {
  for (size_t length : {200u, 201u, 500u}) {
    SCOPED_TRACE(length);
    std::u16string name(length, u'L');
    ChosenUserName chosen(name);
    if (!chosen.took_effect()) GTEST_SKIP() << "the user name cannot be chosen on " << system_name();
    check_copies(u"?");
  }
}

TEST(RuntimeUserName, CacheKeepsTheFirstName) {
  ASSERT_EQ(cache_get(kSlotUserName), nullptr) << "nothing else in this program fills the slot";
  {
    ChosenUserName chosen(u"first");
    if (!chosen.took_effect()) GTEST_SKIP() << "the user name cannot be chosen on " << system_name();
    init_cached_user_name();
  }
  const char16_t* cached = static_cast<const char16_t*>(cache_get(kSlotUserName));
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(std::u16string(cached), u"first");
  EXPECT_FALSE(cache_is_default(kSlotUserName));
  {
    ChosenUserName chosen(u"second");
    init_cached_user_name();
  }
  EXPECT_EQ(cache_get(kSlotUserName), static_cast<const void*>(cached));
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(cache_get(kSlotUserName))), u"first");
}

// --- native call table -----------------------------------------------------------

TEST(RuntimeNtApi, TableHoldsTheExportsOfNtdll) {
  init_nt_api_table();
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  struct Entry {
    const char* name;
    void* resolved;
  } entries[] = {
      {"RtlNtStatusToDosError", reinterpret_cast<void*>(g_nt_api.RtlNtStatusToDosError)},
      {"NtCreateFile", reinterpret_cast<void*>(g_nt_api.NtCreateFile)},
      {"NtLoadDriver", reinterpret_cast<void*>(g_nt_api.NtLoadDriver)},
      {"NtUnloadDriver", reinterpret_cast<void*>(g_nt_api.NtUnloadDriver)},
      {"NtOpenSymbolicLinkObject", reinterpret_cast<void*>(g_nt_api.NtOpenSymbolicLinkObject)},
      {"NtQuerySymbolicLinkObject", reinterpret_cast<void*>(g_nt_api.NtQuerySymbolicLinkObject)},
      {"NtDeviceIoControlFile", reinterpret_cast<void*>(g_nt_api.NtDeviceIoControlFile)},
      {"NtQueryVolumeInformationFile", reinterpret_cast<void*>(g_nt_api.NtQueryVolumeInformationFile)},
      {"NtQueryInformationFile", reinterpret_cast<void*>(g_nt_api.NtQueryInformationFile)},
      {"NtSetInformationFile", reinterpret_cast<void*>(g_nt_api.NtSetInformationFile)},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.name);
    void* expected = reinterpret_cast<void*>(GetProcAddress(ntdll, entry.name));
    EXPECT_NE(expected, nullptr);
    EXPECT_EQ(entry.resolved, expected);
  }
  // The one entry with a fixed type, called through the table.
  struct Status {
    uint32_t status;
    uint32_t error;
  } statuses[] = {
      {0x00000000, ERROR_SUCCESS},           {0xC0000022, ERROR_ACCESS_DENIED},     {0xC0000034, ERROR_FILE_NOT_FOUND},
      {0xC0000017, ERROR_NOT_ENOUGH_MEMORY}, {0xC000000D, ERROR_INVALID_PARAMETER},
  };
  ASSERT_NE(g_nt_api.RtlNtStatusToDosError, nullptr);
  for (const Status& s : statuses) {
    EXPECT_EQ(g_nt_api.RtlNtStatusToDosError(int32_t(s.status)), s.error) << std::hex << s.status;
  }
}

}  // namespace
