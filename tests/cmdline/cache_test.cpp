// The process info cache and the cached program facts. What the cache holds
// lives until exit, so the behaviour of a first fill (failures included) is
// checked natively in child processes, each starting from an empty cache.
#include "cmdline/process_info_cache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "cmdline/environment.h"
#include "cmdline/path.h"
#include "cmdline/system.h"
#include "support/test_support.h"
#include "text/wide.h"

#ifndef _WIN32
#include "cmdline/system_native.h"
#endif

namespace {

std::u16string text(const char16_t* p) { return p ? std::u16string(p) : std::u16string(u"<null>"); }

std::u16string directory(const char16_t* file) {
  char16_t* d = file_directory(file);
  std::u16string out = text(d);
  wide_free(d);
  return out;
}

TEST(CmdlineProgramFacts, DirectoryOfAFileTable) {
  EXPECT_EQ(directory(uR"(C:\Tools\x.exe)"), uR"(C:\Tools)");
  EXPECT_EQ(directory(uR"(C:\x.exe)"), uR"(C:\)");
  EXPECT_EQ(directory(uR"(\\srv\share\x.exe)"), uR"(\\srv\share\)");
  EXPECT_EQ(directory(uR"(\\srv\share\d\x.exe)"), uR"(\\srv\share\d)");
  EXPECT_EQ(directory(u"C:/a/b/x.exe"), u"C:/a/b");
  EXPECT_EQ(directory(uR"(\x.exe)"), uR"(\)");
  EXPECT_EQ(directory(u"C:x.exe"), u"C:");
  EXPECT_EQ(directory(u"x.exe"), u"");
  EXPECT_EQ(directory(uR"(C:\dir\)"), uR"(C:\dir)");
  EXPECT_EQ(directory(uR"(\\srv)"), u"<null>");
}

TEST(CmdlineProgramFacts, ModuleAndDirectoryComeFromTheSystemOnce) {
  char16_t expected[300];
  uint32_t n = system_module_file_name(expected, 300);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, 300u);
  bool known = false;
  const char16_t* file = module_file_name(&known);
  EXPECT_TRUE(known);
  EXPECT_EQ(text(file), std::u16string(expected, n));
  EXPECT_EQ(module_file_name(), file);
  const char16_t* dir = program_directory(&known);
  EXPECT_TRUE(known);
  EXPECT_EQ(text(dir), directory(file));
  EXPECT_EQ(program_directory(), dir);
  EXPECT_FALSE(cache_is_default(kSlotModuleFileName));
  EXPECT_EQ(cache_get(kSlotModuleFileName), file);
}

#ifndef _WIN32

// Runs `check` in a child process with a fresh cache; it passes when the
// child exits with 0. The child is a new run of this program (not a fork,
// which would inherit whatever earlier tests put into the cache).
template <typename Check>
void in_child(Check check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        cmdline_stand_in_reset();
        exit(check() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CmdlineProgramFactsChild, UnknownModuleGivesDefaultsAndSaysSo) {
  in_child([] {
    cmdline_stand_in_set_module_file_name(nullptr);
    bool file_known = true, dir_known = true;
    std::u16string file = text(module_file_name(&file_known));
    std::u16string dir = text(program_directory(&dir_known));
    return !file_known && !dir_known && file == uR"(\_)" && dir == uR"(\)" && cache_is_default(kSlotModuleFileName) &&
           cache_is_default(kSlotProgramDirectory);
  });
}

TEST(CmdlineProgramFactsChild, CutModuleNameCountsAsUnknown) {
  static const std::u16string long_name = uR"(C:\)" + std::u16string(296, u'x');  // 299 units: fits
  static const std::u16string too_long = long_name + u"y";                        // 300: cut
  in_child([] {
    cmdline_stand_in_set_module_file_name(too_long.c_str());
    bool known = true;
    return text(module_file_name(&known)) == uR"(\_)" && !known;
  });
  in_child([] {
    cmdline_stand_in_set_module_file_name(long_name.c_str());
    bool known = false;
    return text(module_file_name(&known)) == long_name && known && text(program_directory()) == uR"(C:\)";
  });
}

TEST(CmdlineProgramFactsChild, NameThatIsNotFullyQualifiedCountsAsUnknown) {
  // A relative directory would let the tool's path resolve against the
  // current drive or directory: the program must not trust it.
  static const char16_t* const names[] = {
      uR"(UNC\srv\share\orvane.exe)", u"orvane.exe", uR"(\tools\orvane.exe)", u"C:orvane.exe", uR"(C:tools\orvane.exe)",
  };
  for (const char16_t* name : names) {
    static const char16_t* current;
    current = name;
    in_child([] {
      cmdline_stand_in_set_module_file_name(current);
      bool file_known = true, dir_known = true;
      std::u16string dir = text(program_directory(&dir_known));
      module_file_name(&file_known);
      return !file_known && !dir_known && dir == uR"(\)";
    });
  }
  static const char16_t* const qualified[] = {uR"(C:\orvane.exe)", uR"(\\srv\share\x\orvane.exe)",
                                              uR"(\\?\C:\x\orvane.exe)"};
  for (const char16_t* name : qualified) {
    static const char16_t* current;
    current = name;
    in_child([] {
      cmdline_stand_in_set_module_file_name(current);
      bool known = false;
      program_directory(&known);
      return known;
    });
  }
}

TEST(CmdlineProgramFactsChild, ProgramInARootDirectoryKeepsTheSeparator) {
  in_child([] {
    cmdline_stand_in_set_module_file_name(uR"(D:\orvane.exe)");
    bool known = false;
    return text(program_directory(&known)) == uR"(D:\)" && known;
  });
  in_child([] {
    cmdline_stand_in_set_module_file_name(uR"(\\srv\share\orvane.exe)");
    return text(program_directory()) == uR"(\\srv\share\)";
  });
}

TEST(CmdlineCacheChild, FirstStoreWinsAndResetRestoresDefaults) {
  in_child([] {
    bool ok = cache_get(kSlotUserName) == nullptr && !cache_is_default(kSlotUserName);
    char16_t* first = wide_dup(u"first");
    ok &= cache_store(kSlotUserName, first) == first;
    // A later value is released and the first one stays.
    ok &= cache_store(kSlotUserName, wide_dup(u"second")) == first;
    ok &= cache_store(kSlotUserName, nullptr) == first;
    ok &= !cache_is_default(kSlotUserName);
    // A null first value gives the default.
    ok &= text(static_cast<char16_t*>(cache_store(kSlotProgramDirectory, nullptr))) == uR"(\)";
    ok &= cache_is_default(kSlotProgramDirectory);
    ok &= cache_reset() == 0;
    ok &= text(static_cast<char16_t*>(cache_get(kSlotUserName))) == u"?" && cache_is_default(kSlotUserName);
    ok &= text(static_cast<char16_t*>(cache_get(kSlotModuleFileName))) == uR"(\_)";
    char16_t* const* env = static_cast<char16_t* const*>(cache_get(kSlotEnvironment));
    ok &= env && env[0] == nullptr;
    return ok;
  });
}

TEST(CmdlineCacheChild, RacingFirstStoresKeepOneValue) {
  // Every thread stores its own copy; all see the same winner, and the
  // losing copies are freed (the leak checker of the child would see them).
  in_child([] {
    void* seen[8] = {};
    std::thread threads[8];
    for (int i = 0; i < 8; ++i) {
      threads[i] = std::thread([i, &seen] { seen[i] = cache_store(kSlotUserName, wide_dup(u"racer")); });
    }
    for (std::thread& t : threads) t.join();
    bool ok = seen[0] && !cache_is_default(kSlotUserName);
    for (void* v : seen) ok &= v == seen[0];
    return ok && text(static_cast<char16_t*>(seen[0])) == u"racer";
  });
}

TEST(CmdlineEnvironmentChild, CopyIsTakenOnce) {
  in_child([] {
    cmdline_stand_in_set_environment(u"Path=C:\\Windows\0VARNO_USERTEXTTESTMODE=1\0\0");
    const char16_t* value = get_environment_variable(u"path");
    bool ok = value && text(value) == uR"(C:\Windows)";
    ok &= text(get_environment_variable(u"varno_usertexttestmode")) == u"1";
    // The system's block was released after copying.
    ok &= cmdline_stand_in_environment_blocks_outstanding() == 0;
    cmdline_stand_in_set_environment(u"Path=D:\\Other\0NEW=1\0\0");
    ok &= get_environment_variable(u"PATH") == value;
    ok &= get_environment_variable(u"NEW") == nullptr;
    return ok;
  });
}

TEST(CmdlineEnvironmentChild, UnreadableEnvironmentIsEmpty) {
  in_child([] {
    cmdline_stand_in_set_environment(nullptr);
    char16_t* const* env = environment_block();
    return env && env[0] == nullptr && cache_is_default(kSlotEnvironment) &&
           get_environment_variable(u"Path") == nullptr;
  });
}

TEST(CmdlineEnvironmentChild, EmptyEnvironment) {
  in_child([] {
    cmdline_stand_in_set_environment(u"\0");
    char16_t* const* env = environment_block();
    return env && env[0] == nullptr && !cache_is_default(kSlotEnvironment);
  });
}

#endif

}  // namespace
