#include "cmdline/quote.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/wide.h"

namespace {

std::u16string quoted(const std::u16string& argument, bool force) {
  size_t n = quote_argument(argument.c_str(), force, nullptr);
  // Guard units after the written area show that exactly n units are written
  // and no terminator is added.
  std::u16string out(n + 4, u'#');
  size_t written = quote_argument(argument.c_str(), force, &out[0]);
  EXPECT_EQ(written, n);
  EXPECT_EQ(out.substr(n), u"####") << escaped(argument);
  return out.substr(0, n);
}

std::u16string joined(const std::vector<std::u16string>& args) {
  std::vector<const char16_t*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  char16_t* line = join_command_line(argv.data());
  EXPECT_NE(line, nullptr);
  std::u16string out = line ? line : u"";
  wide_free(line);
  return out;
}

struct QuoteCase {
  const char16_t* argument;
  bool force;
  const char16_t* expected;
};

TEST(CmdlineQuote, ArgumentTable) {
  const QuoteCase cases[] = {
      {u"-g", false, u"-g"},
      {u"", false, u"\"\""},
      {u"", true, u"\"\""},
      {uR"(C:\tools\tavrin.exe)", true, uR"("C:\tools\tavrin.exe")"},
      {u"a\"b", false, uR"(a\"b)"},
      {uR"(a\"b)", false, uR"(a\\\"b)"},
      {uR"(a b\)", false, uR"("a b\\")"},
      {uR"(a\b)", false, uR"(a\b)"},
      // A tab separates arguments like a space, so it forces quotes too.
      {u"a\tb", false, u"\"a\tb\""},
      {u"\t", false, u"\"\t\""},
      {u" ", false, u"\" \""},
      // Trailing backslashes stay single without enclosing quotes...
      {uR"(a\\)", false, uR"(a\\)"},
      // ...and are doubled in front of a closing quote.
      {uR"(a\\)", true, uR"("a\\\\")"},
      {uR"(\)", true, uR"("\\")"},
      {u"\"", false, uR"(\")"},
      {u"\"\"", false, uR"(\"\")"},
      {u"\"", true, uR"("\"")"},
      {uR"(\\")", false, uR"(\\\\\")"},
      {uR"(\\" \\)", false, uR"("\\\\\" \\\\")"},
      {uR"(a\\b c)", false, uR"("a\\b c")"},
      {u"\"a b\"", false, uR"("\"a b\"")"},
      {u"new\nline", false, u"new\nline"},
      {u"\u00e9t\u00e9 \U0001F600", false, u"\"\u00e9t\u00e9 \U0001F600\""},
      {u"%PATH%^&|<>", false, u"%PATH%^&|<>"},
  };
  for (const QuoteCase& c : cases) {
    EXPECT_EQ(quoted(c.argument, c.force), std::u16string(c.expected)) << escaped(c.argument) << " force=" << c.force;
  }
}

TEST(CmdlineQuote, NullArgumentIsEmpty) {
  EXPECT_EQ(quote_argument(nullptr, false, nullptr), 2u);
  char16_t out[3] = {u'#', u'#', u'#'};
  EXPECT_EQ(quote_argument(nullptr, false, out), 2u);
  EXPECT_EQ(out[0], u'"');
  EXPECT_EQ(out[1], u'"');
  EXPECT_EQ(out[2], u'#');
}

TEST(CmdlineQuote, JoinTable) {
  EXPECT_EQ(joined({uR"(C:\tools\tavrin.exe)", u"convert", u"-g"}), uR"("C:\tools\tavrin.exe" convert -g)");
  EXPECT_EQ(joined({uR"(C:\tools\tavrin.exe)", u"create", u"-g", u"", u"a b"}),
            uR"("C:\tools\tavrin.exe" create -g "" "a b")");
  EXPECT_EQ(joined({u"x"}), u"\"x\"");
  EXPECT_EQ(joined({u""}), u"\"\"");
  EXPECT_EQ(joined({u"p", u"", u""}), u"\"p\" \"\" \"\"");
  EXPECT_EQ(joined({}), u"");
  // Cases of the kind every argument-quoting suite carries.
  EXPECT_EQ(joined({u"prog", u"aaa", u"bbb", u"ccc"}), u"\"prog\" aaa bbb ccc");
  EXPECT_EQ(joined({uR"(C:\Program Files\blah\blah.exe)", u"aaa"}), uR"("C:\Program Files\blah\blah.exe" aaa)");
  EXPECT_EQ(joined({uR"(C:\Program Files\test)", u"aa\"bb"}), uR"("C:\Program Files\test" aa\"bb)");
  EXPECT_EQ(joined({u"echo", u"a b c"}), u"\"echo\" \"a b c\"");
  EXPECT_EQ(joined({u"echo", uR"(" \" \)", uR"(\)"}), uR"("echo" "\" \\\" \\" \)");
  EXPECT_EQ(joined({u"\u03c0\u042f\u97f3\u00e6\u221e"}), u"\"\u03c0\u042f\u97f3\u00e6\u221e\"");
  EXPECT_EQ(joined({u"p", u"--opt=\"x y\"", uR"(a\\b)"}), uR"("p" "--opt=\"x y\"" a\\b)");
}

TEST(CmdlineQuote, ProgramIsWrittenAsItIs) {
  // Backslashes in element 0 are literal to the splitter: none is doubled,
  // not even a trailing one before the closing quote.
  EXPECT_EQ(joined({uR"(C:\dir\)", uR"(a\)"}), uR"("C:\dir\" a\)");
  EXPECT_EQ(joined({uR"(C:\a b\\)", uR"(x y\)"}), uR"("C:\a b\\" "x y\\")");
  EXPECT_EQ(joined({u"\t"}), u"\"\t\"");
}

TEST(CmdlineQuote, JoinOfNullVectorIsEmpty) {
  char16_t* line = join_command_line(nullptr);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line[0], 0);
  wide_free(line);
}

}  // namespace
