// The command-line and path code against the platform itself: the real
// CommandLineToArgvW as the reference for the portable splitter,
// GetFullPathNameW as a second opinion on paths, and the process's own
// module name, current directories and environment.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/environment.h"
#include "cmdline/path.h"
#include "cmdline/quote.h"
#include "cmdline/split.h"
#include "cmdline/split_checks.h"
#include "runtime/process_lock.h"
#include "runtime/tracked_lock.h"
#include "support/test_support.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

namespace {

// Set before anything reads the environment (this runs before main): the
// copy taken at the first lookup must contain them.
struct EarlyEnvironment {
  EarlyEnvironment() {
    SetEnvironmentVariableW(L"Cmdline_Probe_Var", L"probe value");
    SetEnvironmentVariableW(L"CMDLINE_PROBE_EMPTY", L"");
    SetEnvironmentVariableW(L"=Q:", LR"(Q:\drive q\dir)");
  }
} g_early_environment;

Args split_with(char16_t** (*split)(const char16_t*, const char16_t*, int32_t*), const char16_t* prefix,
                const std::u16string& text) {
  int32_t count = -1;
  char16_t** block = split(prefix, text.c_str(), &count);
  EXPECT_NE(block, nullptr);
  return take_arguments(block, count);
}

// Command lines full of what the rules treat specially.
std::u16string random_command_line(TestRandom& r) {
  static const char16_t kUnits[] = {u'a',   u'b',   u'Z',   u'1',   u' ',   u' ',   u'\t',  u'\t',  u'"',   u'"',
                                    u'"',   u'\\',  u'\\',  u'\\',  u'\n',  u'\r',  u'\v',  u'\f',  0x00A0, 0x3000,
                                    0x2028, 0xFEFF, 0x00E9, 0x0416, 0xD83D, 0xDE00, 0xD800, 0xDC00, u'=',   u'^'};
  std::u16string s;
  uint32_t length = r.below(32);
  while (s.size() < length) {
    switch (r.below(8)) {
      case 0: s.append(r.below(6) + 1, u'\\'); break;
      case 1: s += u"\"\""; break;
      case 2: s.append(r.below(3) + 1, u' '); break;
      default: s += kUnits[r.below(sizeof kUnits / sizeof kUnits[0])];
    }
  }
  return s;
}

TEST(CmdlineWindows, PortableSplitterMatchesThePlatform) {
  TestRandom r(314159);
  int compared = 0;
  for (int round = 0; round < 12000; ++round) {
    std::u16string text = random_command_line(r);
    Args platform = split_with(split_command_line, nullptr, text);
    Args portable = split_with(split_command_line_portable, nullptr, text);
    ASSERT_EQ(escaped(portable), escaped(platform)) << "round " << round << " text " << escaped(text);
    ++compared;
  }
  EXPECT_EQ(compared, 12000);
}

TEST(CmdlineWindows, PortableSplitterMatchesThePlatformWithPrefix) {
  TestRandom r(271828);
  int compared = 0;
  for (int round = 0; round < 12000; ++round) {
    std::u16string prefix = random_command_line(r);
    // Mostly prefixes as callers pass them (no quote); sometimes any text.
    if (r.below(4)) {
      for (char16_t& c : prefix) {
        if (c == u'"') c = u'\'';
      }
    }
    std::u16string text = random_command_line(r);
    Args platform = split_with(split_command_line, prefix.c_str(), text);
    Args portable = split_with(split_command_line_portable, prefix.c_str(), text);
    ASSERT_EQ(escaped(portable), escaped(platform))
        << "round " << round << " prefix " << escaped(prefix) << " text " << escaped(text);
    if (prefix.find(u'"') == std::u16string::npos) {
      ASSERT_FALSE(platform.empty());
      ASSERT_EQ(platform[0], prefix);
    }
    ++compared;
  }
  EXPECT_EQ(compared, 12000);
}

TEST(CmdlineWindows, OwnCommandLineSplits) {
  int32_t count = 0;
  char16_t** block = split_command_line(nullptr, from_wchar(GetCommandLineW()), &count);
  Args args = take_arguments(block, count);
  ASSERT_GE(args.size(), 1u);
  // This program was started with --gtest_brief=1 or with no option at all.
  int platform_count = 0;
  LPWSTR* reference = CommandLineToArgvW(GetCommandLineW(), &platform_count);
  ASSERT_NE(reference, nullptr);
  ASSERT_EQ(int(args.size()), platform_count);
  for (int i = 0; i < platform_count; ++i) EXPECT_EQ(args[i], std::u16string(from_wchar(reference[i])));
  LocalFree(reference);
}

// ---------------------------------------------------------------------------
// Paths. GetFullPathNameW agrees with normalize_path and resolve_path on
// paths made of plain names, "." and "..", with single separators and no
// trailing one. The rules differ on purpose elsewhere:
//  - a component of three or more dots goes up levels here; the platform
//    takes it as a name and trims its trailing dots;
//  - trailing dots and spaces of a name are kept here, trimmed there;
//  - a trailing separator is dropped here (except after a root), kept there;
//  - relative paths are normalised here without the current directory and
//    keep their unmatched up-levels; the platform resolves them;
//  - device names and the \\?\ and \\.\ prefixes are ordinary text here.

std::u16string full_path(const std::u16string& path) {
  wchar_t buffer[1024];
  DWORD n = GetFullPathNameW(to_wchar(path.c_str()), 1024, buffer, nullptr);
  if (n == 0 || n >= 1024) return u"<fail>";
  return std::u16string(from_wchar(buffer), n);
}

std::u16string ours(const char16_t* base, const std::u16string& path) {
  char16_t buffer[1024];
  return resolve_path(base, path.c_str(), buffer, 1024) ? std::u16string(buffer) : u"<fail>";
}

std::u16string random_plain_path(TestRandom& r, const char16_t* root) {
  static const char16_t* kParts[] = {u"a", u"bc", u".", u"..", u"x y", u"\u00e9t\u00e9", u"n.ext"};
  std::u16string p = root;
  uint32_t parts = r.below(6) + 1;
  for (uint32_t i = 0; i < parts; ++i) {
    if (i) p += r.below(3) ? u'\\' : u'/';
    p += kParts[r.below(sizeof kParts / sizeof kParts[0])];
  }
  return p;
}

TEST(CmdlineWindows, PathsAgreeWithGetFullPathName) {
  static const char16_t* kRoots[] = {uR"(C:\)", u"c:/", uR"(D:\)", uR"(\)", u"/", u"", u"", u"Q:", u"D:"};
  wchar_t cwd[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, cwd), 0u);
  const std::u16string current_drive(from_wchar(cwd), 2);
  TestRandom r(4242);
  int compared = 0;
  for (int round = 0; round < 4000; ++round) {
    std::u16string root = kRoots[r.below(sizeof kRoots / sizeof kRoots[0])];
    if (r.below(8) == 0) root = current_drive;  // drive-relative on the current drive
    std::u16string path = random_plain_path(r, root.c_str());
    ASSERT_EQ(ours(nullptr, path), full_path(path)) << escaped(path);
    ++compared;
  }
  EXPECT_EQ(compared, 4000);
  // A drive-relative path on a drive with a recorded directory ("=Q:").
  EXPECT_EQ(ours(nullptr, uR"(Q:x\..\y)"), uR"(Q:\drive q\dir\y)");
  EXPECT_EQ(full_path(uR"(Q:x\..\y)"), uR"(Q:\drive q\dir\y)");
}

TEST(CmdlineWindows, DriveCurrentDirectory) {
  char16_t buffer[300];
  ASSERT_TRUE(drive_current_directory(u'Q', buffer, 300));
  EXPECT_EQ(std::u16string(buffer), uR"(Q:\drive q\dir)");
  // Fits exactly: 14 units and the terminator.
  char16_t exact[15];
  EXPECT_TRUE(drive_current_directory(u'q', exact, 15));
  // One unit short: the platform answers with the size it needs and writes
  // nothing, which must not count as success.
  char16_t small[14];
  EXPECT_FALSE(drive_current_directory(u'Q', small, 14));
  EXPECT_FALSE(drive_current_directory(u'Q', buffer, 0));
  EXPECT_FALSE(drive_current_directory(u'1', buffer, 300));
  wchar_t cwd[MAX_PATH];
  DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
  ASSERT_TRUE(drive_current_directory(char16_t(cwd[0]), buffer, 300));
  EXPECT_EQ(std::u16string(buffer), std::u16string(from_wchar(cwd), n));
}

TEST(CmdlineWindows, ProgramFileAndDirectory) {
  wchar_t expected[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, expected, MAX_PATH);
  ASSERT_GT(n, 0u);
  bool known = false;
  EXPECT_EQ(std::u16string(module_file_name(&known)), std::u16string(from_wchar(expected), n));
  EXPECT_TRUE(known);
  std::u16string file(from_wchar(expected), n);
  std::u16string dir = program_directory(&known);
  EXPECT_TRUE(known);
  EXPECT_EQ(dir, file.substr(0, file.rfind(u'\\')));
  // The tool beside the program resolves there whatever the current directory.
  EXPECT_EQ(ours(dir.c_str(), u"tavrin.exe"), dir + uR"(\tavrin.exe)");
}

TEST(CmdlineWindows, EnvironmentIsCopiedOnce) {
  const char16_t* value = get_environment_variable(u"CMDLINE_PROBE_VAR");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(std::u16string(value), u"probe value");
  EXPECT_EQ(get_environment_variable(u"cmdline_probe_var"), value);
  EXPECT_EQ(get_environment_variable(u"CMDLINE_PROBE_VA"), nullptr);
  const char16_t* empty = get_environment_variable(u"Cmdline_Probe_Empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(*empty, 0);
  const char16_t* drive = get_environment_variable(u"=q:");
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(std::u16string(drive), uR"(Q:\drive q\dir)");
  // Later changes are not seen.
  SetEnvironmentVariableW(L"CMDLINE_PROBE_VAR", L"changed");
  SetEnvironmentVariableW(L"CMDLINE_PROBE_LATE", L"late");
  EXPECT_EQ(std::u16string(get_environment_variable(u"CMDLINE_PROBE_VAR")), u"probe value");
  EXPECT_EQ(get_environment_variable(u"CMDLINE_PROBE_LATE"), nullptr);
  // Every entry of the copy is an entry the system had.
  char16_t* const* env = environment_block();
  size_t count = 0;
  for (; env[count]; ++count) {
  }
  EXPECT_GT(count, 3u);
}

TEST(CmdlineWindows, ProcessLockOwnerIsTheThreadId) {
  process_lock_startup();
  AcquireProcessLock();
  EXPECT_EQ(process_lock_owner_for_testing(), uintptr_t(GetCurrentThreadId()));
  ReleaseProcessLock();
  EXPECT_EQ(process_lock_owner_for_testing(), 0u);
  EXPECT_EQ(tracked_lock_current_thread(), uintptr_t(GetCurrentThreadId()));
}

// A child started with a joined command line receives exactly the vector:
// the child's own splitting is the judge.
TEST(CmdlineWindows, JoinedLineSplitsBackInTheRealSplitter) {
  const std::vector<std::u16string> args = {
      uR"(C:\Program Files\t\)", u"a\tb", u"", uR"(\\")", uR"(x y\\)", u"\"", u"\u00e9\\"};
  std::vector<const char16_t*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  char16_t* line = join_command_line(argv.data());
  ASSERT_NE(line, nullptr);
  int n = 0;
  LPWSTR* parts = CommandLineToArgvW(to_wchar(line), &n);
  ASSERT_NE(parts, nullptr);
  ASSERT_EQ(n, int(args.size()));
  for (int i = 0; i < n; ++i) EXPECT_EQ(std::u16string(from_wchar(parts[i])), args[i]) << i;
  LocalFree(parts);
  wide_free(line);
}

}  // namespace
