#include "launcher/tool_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/setting.h"
#include "support/test_support.h"

namespace {

const char16_t* const kConvert[] = {u"convert", u"-g"};
const char16_t* const kCreate[] = {u"create", u"-g", u""};
const LauncherSetting kOrvane = {kConvert, 2, "Ardelon"};
const LauncherSetting kKelmis = {kCreate, 3, "Morvisk"};

struct Built {
  uint32_t result;
  std::vector<std::u16string> argv;  // "(null)" marks a null entry
};

Built build(const LauncherSetting& setting, const std::u16string& dir, bool known,
            std::vector<std::u16string> own) {
  std::vector<const char16_t*> own_ptrs;
  for (auto& s : own) own_ptrs.push_back(s.c_str());
  own_ptrs.push_back(nullptr);
  ToolArguments arguments;
  Built built;
  built.result = build_tool_arguments(&setting, dir.c_str(), known, own_ptrs.data(), int32_t(own.size()), &arguments);
  if (arguments.argv) {
    for (size_t i = 0; i < arguments.written; ++i) {
      built.argv.push_back(arguments.argv[i] ? std::u16string(arguments.argv[i]) : u"(null)");
    }
    EXPECT_EQ(arguments.argv[arguments.written], nullptr) << "vector is null-terminated";
  }
  free_tool_arguments(&arguments);
  EXPECT_EQ(arguments.argv, nullptr);
  return built;
}

using V = std::vector<std::u16string>;

TEST(LauncherArguments, FixedEntriesThenOwnArgumentsAfterTheToolPath) {
  struct Case {
    const LauncherSetting* setting;
    std::u16string dir;
    V own;
    V expected;
  } cases[] = {
      {&kOrvane, u"C:\\Tools", {u"C:\\Tools\\orvane.exe"}, {u"C:\\Tools\\tavrin.exe", u"convert", u"-g"}},
      {&kKelmis, u"C:\\Tools", {u"kelmis", u"x"}, {u"C:\\Tools\\tavrin.exe", u"create", u"-g", u"", u"x"}},
      {&kOrvane, u"C:\\", {u"C:\\orvane.exe", u"a b", u"\"q\""}, {u"C:\\tavrin.exe", u"convert", u"-g", u"a b", u"\"q\""}},
      {&kOrvane, u"\\\\srv\\share\\", {u"x"}, {u"\\\\srv\\share\\tavrin.exe", u"convert", u"-g"}},
      {&kOrvane, u"C:\\My Tools\\\u00e9", {u"x", u""}, {u"C:\\My Tools\\\u00e9\\tavrin.exe", u"convert", u"-g", u""}},
  };
  for (const Case& c : cases) {
    Built b = build(*c.setting, c.dir, true, c.own);
    EXPECT_EQ(b.result, 0u) << escaped(c.dir);
    EXPECT_EQ(b.argv, c.expected) << escaped(c.dir);
  }
}

TEST(LauncherArguments, ASplitWithoutElementsStillFitsTheVector) {
  // Under ASan an undercounted capacity would be reported as an overflow.
  Built b = build(kKelmis, u"C:\\Tools", true, {});
  EXPECT_EQ(b.result, 0u);
  EXPECT_EQ(b.argv, (V{u"C:\\Tools\\tavrin.exe", u"create", u"-g", u""}));
}

TEST(LauncherArguments, UnknownOrTooLongDirectoryNeverNamesAProgramToStart) {
  Built unknown = build(kOrvane, u"\\", false, {u"me", u"a"});
  EXPECT_EQ(unknown.result, uint32_t(kToolPathUnknown));
  EXPECT_EQ(unknown.argv, (V{u"tavrin.exe", u"convert", u"-g", u"a"}));

  // An install path that fills the 300-unit work area of path resolution.
  std::u16string deep = u"C:\\" + std::u16string(296, u'd');
  Built too_long = build(kOrvane, deep, true, {u"me"});
  EXPECT_EQ(too_long.result, uint32_t(kToolPathUnknown));
  EXPECT_EQ(too_long.argv[0], u"tavrin.exe");

  // The longest directory that still resolves gives a full path.
  std::u16string fits = u"C:\\" + std::u16string(280, u'd');
  Built ok = build(kOrvane, fits, true, {u"me"});
  EXPECT_EQ(ok.result, 0u);
  EXPECT_EQ(ok.argv[0], fits + u"\\tavrin.exe");
}

TEST(LauncherArguments, DotEntriesAreResolvedAgainstTheLauncherDirectory) {
  const char16_t* const dotted[] = {u".\\data", u"..\\shared", u"plain"};
  const LauncherSetting setting = {dotted, 3, "X"};
  Built b = build(setting, u"C:\\Program Files\\X", true, {u"me"});
  EXPECT_EQ(b.result, 0u);
  EXPECT_EQ(b.argv, (V{u"C:\\Program Files\\X\\tavrin.exe", u"C:\\Program Files\\X\\data",
                       u"C:\\Program Files\\shared", u"plain"}));
}

TEST(LauncherArguments, ADotEntryThatCannotBeResolvedFailsTheVector) {
  // The tool path fits, the longer dotted entry does not: the vector fails
  // instead of copying a stale buffer.
  const char16_t* const dotted[] = {u".\\a-rather-long-entry-name-that-no-longer-fits"};
  const LauncherSetting setting = {dotted, 1, "X"};
  std::u16string dir = u"C:\\" + std::u16string(270, u'd');
  Built b = build(setting, dir, true, {u"me"});
  EXPECT_EQ(b.result, uint32_t(kArgumentsFailed));
}

}  // namespace
