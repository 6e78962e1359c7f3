#include "cmdline/split.h"

#include <gtest/gtest.h>

#include "cmdline/split_checks.h"
#include "cmdline/system.h"

namespace {

using SplitFunction = char16_t** (*)(const char16_t*, const char16_t*, int32_t*);

Args run_split(SplitFunction split, const char16_t* prefix, const char16_t* text) {
  int32_t count = -1;
  char16_t** block = split(prefix, text, &count);
  EXPECT_NE(block, nullptr);
  return take_arguments(block, count);
}

struct SplitCase {
  const char16_t* text;
  Args expected;
};

// Cases whose answers the platform's splitter gives (checked against it by
// the differential test under Wine).
const SplitCase kCases[] = {
    {uR"("C:\My Tools\orvane.exe" "a b" c)", {uR"(C:\My Tools\orvane.exe)", u"a b", u"c"}},
    {u"p \"\"", {u"p", u""}},
    {u"p \"\" \"\"", {u"p", u"", u""}},
    {u"p a\tb  c\t", {u"p", u"a", u"b", u"c"}},
    {uR"(p a\b c\)", {u"p", uR"(a\b)", uR"(c\)"}},
    {uR"(p a\\"b c" d)", {u"p", uR"(a\b c)", u"d"}},
    {uR"(p a\\\"b)", {u"p", uR"(a\"b)"}},
    {uR"(p \")", {u"p", u"\""}},
    // "" inside quotes: a literal quote, and the quoted region ends, so the
    // next quote opens a new one.
    {u"p \"a\"\"b\" c", {u"p", u"a\"b c"}},
    {u"p \"a\"\"b c\"", {u"p", u"a\"b", u"c"}},
    {u"p \"\"\"\"", {u"p", u"\""}},
    {u"p a\"b\"c", {u"p", u"abc"}},
    {u"p \"a b", {u"p", u"a b"}},
    {u"p \"", {u"p", u""}},
    {u"p a\nb", {u"p", u"a\nb"}},
    // Element 0: quotes are literal, a leading quote runs it to the next one.
    {u"\"a b\"c d", {u"a b", u"c", u"d"}},
    {u"a\"b c\" d", {u"a\"b", u"c d"}},
    {uR"(a\"b c)", {uR"(a\"b)", u"c"}},
    {u"\"unterminated name", {u"unterminated name"}},
    {u" a", {u"", u"a"}},
    {u"\t", {u""}},
    {u"\"\" x", {u"", u"x"}},
    {u"p\u3000q r", {u"p\u3000q", u"r"}},
};

TEST(CmdlineSplit, PlatformRuleTable) {
  for (const SplitCase& c : kCases) {
    EXPECT_EQ(escaped(run_split(split_command_line_portable, nullptr, c.text)), escaped(c.expected))
        << "portable: " << escaped(std::u16string(c.text));
    EXPECT_EQ(escaped(run_split(split_command_line, nullptr, c.text)), escaped(c.expected))
        << escaped(std::u16string(c.text));
  }
}

TEST(CmdlineSplit, PrefixBecomesElementZeroUnchanged) {
  for (SplitFunction split : {split_command_line, split_command_line_portable}) {
    EXPECT_EQ(run_split(split, uR"(C:\My Tools\x.exe)", u"a \"b c\""), (Args{uR"(C:\My Tools\x.exe)", u"a", u"b c"}));
    EXPECT_EQ(run_split(split, u"x", u""), (Args{u"x"}));
    EXPECT_EQ(run_split(split, u"x", nullptr), (Args{u"x"}));
    EXPECT_EQ(run_split(split, u"", u"a"), (Args{u"", u"a"}));
    EXPECT_EQ(run_split(split, uR"(a\b\)", u"c"), (Args{uR"(a\b\)", u"c"}));
  }
}

TEST(CmdlineSplit, EmptyTextStandsForTheProgram) {
  char16_t module[300];
  uint32_t n = system_module_file_name(module, 300);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, 300u);
  for (SplitFunction split : {split_command_line, split_command_line_portable}) {
    EXPECT_EQ(run_split(split, nullptr, u""), (Args{std::u16string(module, n)}));
    EXPECT_EQ(run_split(split, nullptr, nullptr), (Args{std::u16string(module, n)}));
  }
}

TEST(CmdlineSplit, CountMayBeOmitted) {
  for (SplitFunction split : {split_command_line, split_command_line_portable}) {
    char16_t** block = split(nullptr, u"p a b", nullptr);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(take_arguments(block, 3), (Args{u"p", u"a", u"b"}));
  }
}

}  // namespace
