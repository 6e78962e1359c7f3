#include "launcher/tool_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/setting.h"
#include "support/test_support.h"
#include "tool_path_property.h"

namespace {

constexpr const char16_t* kConvert[] = {u"convert", u"-g"};
constexpr const char16_t* kCreate[] = {u"create", u"-g", u""};
const LauncherSetting kOrvane = launcher_setting(kConvert, "Ardelon");
const LauncherSetting kKelmis = launcher_setting(kCreate, "Morvisk");

struct Built {
  uint32_t result;
  std::vector<std::u16string> argv;  // "(null)" marks a null entry
};

Built build(const LauncherSetting& setting, const std::u16string& dir, bool known, std::vector<std::u16string> own) {
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
      {&kOrvane, uR"(C:\Tools)", {uR"(C:\Tools\orvane.exe)"}, {uR"(C:\Tools\tavrin.exe)", u"convert", u"-g"}},
      {&kKelmis, uR"(C:\Tools)", {u"kelmis", u"x"}, {uR"(C:\Tools\tavrin.exe)", u"create", u"-g", u"", u"x"}},
      {&kOrvane,
       uR"(C:\)",
       {uR"(C:\orvane.exe)", u"a b", u"\"q\""},
       {uR"(C:\tavrin.exe)", u"convert", u"-g", u"a b", u"\"q\""}},
      {&kOrvane, uR"(\\srv\share\)", {u"x"}, {uR"(\\srv\share\tavrin.exe)", u"convert", u"-g"}},
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
  Built b = build(kKelmis, uR"(C:\Tools)", true, {});
  EXPECT_EQ(b.result, 0u);
  EXPECT_EQ(b.argv, (V{uR"(C:\Tools\tavrin.exe)", u"create", u"-g", u""}));
}

TEST(LauncherArguments, UnknownOrTooLongDirectoryNeverNamesAProgramToStart) {
  Built unknown = build(kOrvane, uR"(\)", false, {u"me", u"a"});
  EXPECT_EQ(unknown.result, uint32_t(kToolPathUnknown));
  EXPECT_EQ(unknown.argv, (V{u"tavrin.exe", u"convert", u"-g", u"a"}));

  // An install path that fills the 300-unit work area of path resolution.
  std::u16string deep = uR"(C:\)" + std::u16string(296, u'd');
  Built too_long = build(kOrvane, deep, true, {u"me"});
  EXPECT_EQ(too_long.result, uint32_t(kToolPathUnknown));
  EXPECT_EQ(too_long.argv[0], u"tavrin.exe");

  // The longest directory that still resolves gives a full path.
  std::u16string fits = uR"(C:\)" + std::u16string(280, u'd');
  Built ok = build(kOrvane, fits, true, {u"me"});
  EXPECT_EQ(ok.result, 0u);
  EXPECT_EQ(ok.argv[0], fits + uR"(\tavrin.exe)");
}

// The tool is started from the folder that holds the launcher, by a path
// Windows reads as written, or not at all: for module paths with folders
// made only of dots, trailing dots and spaces, device and long-path
// prefixes, UNC shares and their roots, drive roots, and lengths around
// MAX_PATH and the 300-unit limit.
TEST(LauncherArguments, TheToolLiesInTheLaunchersOwnFolderOrNothingStarts) {
  const std::u16string roots[] = {uR"(C:\)",         u"c:/",          uR"(\\srv\share\)",       uR"(\\srv\share.\)",
                                  uR"(\\?\C:\)",     uR"(\\.\C:\)",   uR"(\\?\UNC\srv\share\)", uR"(\\.\UNC\srv\s\)",
                                  uR"(\\..\share\)", uR"(\\srv\...\)"};
  const std::u16string names[] = {u"",   u"a",  u".",   u"..",   u"...", u"a.", u"a ",
                                  u" a", u".a", u"a.b", u"....", u"a..", u"b c"};
  const std::u16string files[] = {u"orvane.exe", u"x."};
  std::vector<std::u16string> modules;
  for (const std::u16string& root : roots) {
    for (const std::u16string& file : files) {
      modules.push_back(root + file);
      for (const std::u16string& first : names) {
        for (const std::u16string& second : names) {
          std::u16string middle = first + uR"(\)" + second + uR"(\)";
          modules.push_back(root + middle + file);
          // Padded to the lengths around the limits with a long folder name.
          for (size_t length : {259u, 260u, 299u, 300u}) {
            size_t fixed = root.size() + middle.size() + file.size() + 1;
            if (fixed < length)
              modules.push_back(root + middle + std::u16string(length - fixed, u'p') + uR"(\)" + file);
          }
        }
      }
    }
  }
  size_t started = 0, refused = 0;
  for (const std::u16string& module : modules) {
    bool was_refused = false;
    std::string wrong = tool_path_property::check_module(kOrvane, module, &was_refused);
    ASSERT_EQ(wrong, "") << escaped(module);
    ++(was_refused ? refused : started);
  }
  // Both ways are taken: plain folders start the tool, odd ones are refused.
  EXPECT_GT(started, modules.size() / 20);
  EXPECT_GT(refused, modules.size() / 20);
  RecordProperty("module_paths", int(modules.size()));
}

TEST(LauncherArguments, DotEntriesAreResolvedAgainstTheLauncherDirectory) {
  static constexpr const char16_t* dotted[] = {uR"(.\data)", uR"(..\shared)", u"plain"};
  const LauncherSetting setting = launcher_setting(dotted, "X");
  EXPECT_EQ(setting.fixed_count, 3);
  EXPECT_NE(setting.resolve_relative, nullptr);
  EXPECT_EQ(kOrvane.resolve_relative, nullptr) << "no entry needs resolving";
  Built b = build(setting, uR"(C:\Program Files\X)", true, {u"me"});
  EXPECT_EQ(b.result, 0u);
  EXPECT_EQ(b.argv, (V{uR"(C:\Program Files\X\tavrin.exe)", uR"(C:\Program Files\X\data)",
                       uR"(C:\Program Files\shared)", u"plain"}));
}

TEST(LauncherArguments, ADotEntryThatCannotBeResolvedIsShownButNeverStarted) {
  // The tool path fits, the longer dotted entry does not: the launch fails
  // like an unknown tool path, with the entry as written instead of a stale
  // buffer.
  static constexpr const char16_t* dotted[] = {uR"(.\a-rather-long-entry-name-that-no-longer-fits)"};
  const LauncherSetting setting = launcher_setting(dotted, "X");
  std::u16string dir = uR"(C:\)" + std::u16string(270, u'd');
  Built b = build(setting, dir, true, {u"me"});
  EXPECT_EQ(b.result, uint32_t(kToolPathUnknown));
  EXPECT_EQ(b.argv, (V{dir + uR"(\tavrin.exe)", dotted[0]}));
}

}  // namespace
