// The engine's FILETIME text against the system's own calendar, under
// Windows only.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_support.h"
#include "text/format.h"

namespace {

TEST(TextFormatWindows, FileTimesMatchFileTimeToSystemTime) {
  TestRandom r(2038);
  const unsigned long long last = 2650467743999999999ull;  // 9999-12-31 23:59:59.9999999
  for (int i = 0; i < 5000; ++i) {
    unsigned long long ticks = r.next() % (last + 1);
    if (i % 4 == 0) ticks = ticks / 864000000000ull * 864000000000ull + r.below(2) * 863999999999ull;
    FILETIME ft;
    ft.dwLowDateTime = DWORD(ticks);
    ft.dwHighDateTime = DWORD(ticks >> 32);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << ticks;
    char expected[32];
    snprintf(expected, sizeof expected, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond, st.wMilliseconds);
    char16_t out[32];
    ASSERT_EQ(text_format(out, 32, u"%T", ticks), 23u);
    ASSERT_EQ(utf8(out), expected) << ticks;
  }
}

}  // namespace
#endif
