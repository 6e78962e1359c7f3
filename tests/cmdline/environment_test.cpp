#include "cmdline/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cmdline/system.h"
#include "support/test_support.h"

namespace {

// A system block from entries: each with its terminator, then the final one.
std::u16string block_of(const std::vector<std::u16string>& entries) {
  std::u16string block;
  for (const auto& e : entries) block += e + u'\0';
  block += u'\0';
  if (entries.empty()) block = std::u16string(1, u'\0');
  return block;
}

struct Environment {
  char16_t** array;
  explicit Environment(const std::vector<std::u16string>& entries) {
    std::u16string block = block_of(entries);
    array = environment_copy(block.data());
  }
  ~Environment() { free(array); }
};

TEST(CmdlineEnvironment, CopyKeepsEveryEntryInOrderInOneBlock) {
  const std::vector<std::u16string> entries = {u"=C:=C:\\work", u"Path=C:\\Windows",      u"EMPTY=",
                                               u"NOEQUALS",     u"\u00c4RGER=\U0001F600", u"A=b=c"};
  Environment env(entries);
  ASSERT_NE(env.array, nullptr);
  // The strings follow the n + 1 pointers directly, in order, with a spare
  // terminator after the last one.
  const char16_t* expected = reinterpret_cast<const char16_t*>(env.array + entries.size() + 1);
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(env.array[i], expected);
    EXPECT_EQ(std::u16string(env.array[i]), entries[i]);
    expected += entries[i].size() + 1;
  }
  EXPECT_EQ(env.array[entries.size()], nullptr);
  EXPECT_EQ(*expected, 0);
}

TEST(CmdlineEnvironment, CopyOfEmptyOrMissingBlock) {
  Environment empty({});
  ASSERT_NE(empty.array, nullptr);
  EXPECT_EQ(empty.array[0], nullptr);
  EXPECT_EQ(environment_copy(nullptr), nullptr);
}

struct LookupCase {
  const char16_t* name;
  const char16_t* value;  // null: absent
};

TEST(CmdlineEnvironment, LookupTable) {
  Environment env({u"=C:=C:\\work", u"Path=C:\\Windows", u"EMPTY=", u"NOEQUALS", u"\u00c4rger=umlaut",
                   u"\u03a3IGMA=sigma", u"A=b=c", u"dup=first", u"DUP=second", u"=D:=D:\\", u"==x"});
  ASSERT_NE(env.array, nullptr);
  const LookupCase cases[] = {
      {u"path", u"C:\\Windows"},
      {u"PATH", u"C:\\Windows"},
      {u"Path", u"C:\\Windows"},
      {u"PAT", nullptr},
      {u"PATHS", nullptr},
      {u"=C:", u"C:\\work"},
      {u"=c:", u"C:\\work"},
      {u"=D:", u"D:\\"},
      {u"C:", nullptr},
      {u"EMPTY", u""},
      {u"NOEQUALS", u""},
      // Unicode simple folding, not just ASCII.
      {u"\u00e4RGER", u"umlaut"},
      {u"\u03c3igma", u"sigma"},
      {u"A", u"b=c"},
      {u"Dup", u"first"},
      // An entry "==x" has the name "=" (the search for '=' starts at its
      // second unit) and the value "x".
      {u"=", u"x"},
      {u"", nullptr},
  };
  for (const LookupCase& c : cases) {
    const char16_t* found = find_environment_variable(env.array, c.name);
    if (!c.value) {
      EXPECT_EQ(found, nullptr) << escaped(c.name);
    } else {
      ASSERT_NE(found, nullptr) << escaped(c.name);
      EXPECT_EQ(std::u16string(found), std::u16string(c.value)) << escaped(c.name);
    }
  }
  EXPECT_EQ(find_environment_variable(env.array, nullptr), nullptr);
  EXPECT_EQ(find_environment_variable(nullptr, u"Path"), nullptr);
}

TEST(CmdlineEnvironment, ValuesPointIntoTheCopy) {
  Environment env({u"Path=C:\\Windows", u"NOEQUALS"});
  const char16_t* value = find_environment_variable(env.array, u"PATH");
  EXPECT_EQ(value, env.array[0] + 5);
  // Without '=' the value is the entry's own terminator.
  EXPECT_EQ(find_environment_variable(env.array, u"noequals"), env.array[1] + 8);
}

// The cached copy agrees with the system's block as it was first read.
TEST(CmdlineEnvironment, BlockMatchesTheSystem) {
  char16_t* const* env = environment_block();
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(environment_block(), env);
  char16_t* system = system_environment_strings();
  ASSERT_NE(system, nullptr);
  size_t i = 0;
  for (const char16_t* p = system; *p; p += std::u16string(p).size() + 1, ++i) {
    ASSERT_NE(env[i], nullptr);
    EXPECT_EQ(std::u16string(env[i]), std::u16string(p));
  }
  EXPECT_EQ(env[i], nullptr);
  system_free_environment_strings(system);
}

}  // namespace
