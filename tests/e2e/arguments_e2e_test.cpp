// The tool's argument vector, seen by the tool itself: the launchers are
// started with command lines that split to known vectors, and the test tool
// reports the vector it received.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/test_support.h"

namespace {

const Launcher kBoth[] = {Launcher::kOrvane, Launcher::kKelmis};

TEST(E2eArguments, WithoutArgumentsTheToolGetsExactlyTheFixedOnes) {
  for (Launcher launcher : kBoth) {
    Install install(launcher);
    ASSERT_TRUE(install.ok());
    SCOPED_TRACE(escaped(install.launcher()));
    LaunchOutcome outcome = launch(install, {});
    std::vector<std::u16string> expected = expected_vector(install, {});
    const ProbeReport* report = expect_delivered(outcome, expected);
    if (!report) continue;
    // Element 0 is the full path beside the launcher, and the raw command
    // line starts with it in quotes.
    EXPECT_EQ(report->args.size(), launcher == Launcher::kOrvane ? 3u : 4u);
    EXPECT_EQ(report->module, install.tool()) << escaped(report->module);
    std::u16string quoted_tool = u"\"" + install.tool() + u"\"";
    EXPECT_EQ(report->command_line.compare(0, quoted_tool.size(), quoted_tool), 0) << escaped(report->command_line);
    EXPECT_EQ(report->command_line, quoted_command_line(expected)) << escaped(report->command_line);
  }
}

struct ArgumentCase {
  const char* name;
  std::vector<std::u16string> args;
};

std::vector<ArgumentCase> tricky_cases() {
  std::vector<std::u16string> many;
  for (int i = 0; i < 60; ++i) many.push_back(i % 3 == 0 ? u"" : i % 3 == 1 ? u"a b" : uR"(x\"y)");
  std::u16string long_argument;
  for (int i = 0; i < 800; ++i) long_argument += u"ab \"\\\u00e9\U0001F600";
  return {
      {"plain words", {u"a", u"b"}},
      {"space inside", {u"a b"}},
      {"only spaces", {u"   "}},
      {"leading and trailing spaces", {u" a ", u"b "}},
      {"quote inside", {u"a\"b"}},
      {"quote alone", {u"\""}},
      {"two quotes", {u"\"\""}},
      {"quoted word", {u"\"ab\""}},
      {"quote and space", {u"say \"hi\" now"}},
      {"trailing backslash", {uR"(dir\)"}},
      {"trailing backslash with space", {uR"(my dir\)"}},
      {"trailing backslash run with space", {uR"(C:\Program Files\\\)"}},
      {"backslash run before quote", {uR"(a\\\"b)"}},
      {"backslash before quote with space", {uR"(a \"b)"}},
      {"backslashes only", {uR"(\\\)"}},
      {"backslashes not before quotes", {uR"(\\server\share\x)", uR"(a\b)"}},
      {"tab inside", {u"a\tb"}},
      {"tab alone", {u"\t"}},
      {"tab and backslash", {u"\t\\"}},
      {"empty", {u""}},
      {"empties around a word", {u"", u"", u"x", u""}},
      {"newline and vertical tab", {u"line1\nline2", u"v\vt"}},
      {"non-ASCII", {u"zw\u00f6lf \u00c4pfel", u"\u65e5\u672c\u8a9e", u"\u00a0nbsp\u3000ideographic"}},
      {"emoji", {u"\U0001F600", u"a\U0001F600 b", u"\U0001F468\u200D\U0001F469\u200D\U0001F467"}},
      {"unpaired high surrogate", {u"\xD800"}},
      {"unpaired low surrogate inside", {u"a\xDC00z"}},
      {"surrogates in the wrong order", {u"\xDE00\xD83D", u"x \xDBFF"}},
      {"shell characters", {u"%PATH%", u"^&|<>()", u"!x!", u"$HOME", u"*?"}},
      {"usertext markers", {u"%1", u"%(application_name)", u"%%"}},
      {"option look-alikes", {u"-g", u"convert", u"/?", u"--"}},
      {"quotes around spaces", {u"\" a \"", u"\"\"\" \"\"\""}},
      {"many arguments", many},
      {"one long argument", {long_argument}},
  };
}

TEST(E2eArguments, TrickyArgumentsArriveUnchanged) {
  const std::vector<ArgumentCase> cases = tricky_cases();
  Install orvane(Launcher::kOrvane);
  Install kelmis(Launcher::kKelmis);
  ASSERT_TRUE(orvane.ok() && kelmis.ok());
  std::vector<LaunchOutcome> outcomes = run_concurrently<LaunchOutcome>(cases.size() * 2, [&](size_t i) {
    LaunchOptions options;
    options.args = cases[i / 2].args;
    return launch(i % 2 ? kelmis : orvane, options);
  });
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const Install& install = i % 2 ? kelmis : orvane;
    SCOPED_TRACE(std::string(cases[i / 2].name) + (i % 2 ? " (kelmis)" : " (orvane)"));
    expect_delivered(outcomes[i], expected_vector(install, cases[i / 2].args));
  }
}

// Command lines written by hand, as shells and other programs write them:
// the tool must get exactly what the platform's own splitting makes of them.
TEST(E2eArguments, HandWrittenCommandLinesSplitLikeThePlatform) {
  const std::u16string tails[] = {
      u"",
      u" ",
      u"   a\t\tb   ",
      u" a\"b c\"d",
      u" \"a\"\"b\" c",
      u" \"\"\"\"",
      u" \"\"\"\"\"\" x",
      uR"( a\\"b c")",
      uR"( a\\\"b)",
      u" \"unterminated quote",
      uR"( "trailing backslash\")",
      u" x\"\"",
      u" \t\"\"\t",
      u" \"a b\"c d\"e f\"",
  };
  Install install(Launcher::kOrvane);
  ASSERT_TRUE(install.ok());
  const size_t count = sizeof tails / sizeof tails[0];
  std::vector<LaunchOutcome> outcomes = run_concurrently<LaunchOutcome>(count, [&](size_t i) {
    LaunchOptions options;
    options.raw_tail = tails[i];
    options.use_raw_tail = true;
    return launch(install, options);
  });
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE("tail [" + escaped(tails[i]) + "]");
    std::vector<std::u16string> split = platform_split(outcomes[i].command_line);
    ASSERT_FALSE(split.empty());
    ASSERT_EQ(split[0], install.launcher());
    expect_delivered(outcomes[i], expected_vector(install, {split.begin() + 1, split.end()}));
  }
}

// Random vectors over the units that matter to splitting and quoting, plus
// non-ASCII text and broken surrogates.
std::u16string random_argument(TestRandom& random) {
  static const std::u16string kUnits[] = {
      u"a", u"Z", u"0", u" ",      u"  ",     u"\t",         u"\"",     uR"(\)",   uR"(\\)", uR"(\")", u"-",
      u"/", u"=", u"%", u"\u00e9", u"\u20ac", u"\U0001F600", u"\xD800", u"\xDFFF", u"\n",    u"'",     u"^",
  };
  const uint32_t count = sizeof kUnits / sizeof kUnits[0];
  std::u16string argument;
  uint32_t length = random.below(4) == 0 ? 0 : random.below(12);
  for (uint32_t i = 0; i < length; ++i) argument += kUnits[random.below(count)];
  return argument;
}

TEST(E2eArguments, RandomVectorsArriveUnchanged) {
  const uint64_t kSeed = 20240611;
  const size_t kVectors = 200;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  TestRandom random(kSeed);
  std::vector<std::vector<std::u16string>> vectors(kVectors);
  for (std::vector<std::u16string>& args : vectors) {
    uint32_t n = random.below(7);
    for (uint32_t k = 0; k < n; ++k) args.push_back(random_argument(random));
  }
  Install orvane(Launcher::kOrvane);
  Install kelmis(Launcher::kKelmis);
  ASSERT_TRUE(orvane.ok() && kelmis.ok());
  std::vector<LaunchOutcome> outcomes = run_concurrently<LaunchOutcome>(kVectors, [&](size_t i) {
    LaunchOptions options;
    options.args = vectors[i];
    return launch(i % 4 == 3 ? kelmis : orvane, options);
  });
  size_t failed = 0;
  for (size_t i = 0; i < kVectors && failed < 5; ++i) {
    SCOPED_TRACE("vector " + std::to_string(i) + " " + escaped(vectors[i]));
    const ProbeReport* report = outcomes[i].reports.size() == 1 ? &outcomes[i].reports[0] : nullptr;
    std::vector<std::u16string> expected = expected_vector(i % 4 == 3 ? kelmis : orvane, vectors[i]);
    if (report && report->args == expected && outcomes[i].exit_code == 1 && outcomes[i].failure.empty()) continue;
    ++failed;
    expect_delivered(outcomes[i], expected);
  }
}

}  // namespace
