// The test tool's report: what the tool escapes, the tests' parser reads
// back unit for unit; malformed reports are refused rather than half read.
#include <gtest/gtest.h>

#include <string>

#include "../../tools/probe/probe_escape.h"
#include "support/probe_report.h"
#include "support/test_support.h"

namespace {

std::string escape(const std::u16string& text) {
  std::string out;
  probe_escape(text.data(), text.size(), [&out](char c) { out += c; });
  return out;
}

TEST(ProcessProbeEscape, KnownForms) {
  struct Case {
    std::u16string text;
    std::string escaped;
  };
  const Case cases[] = {
      {u"plain text", "plain text"},
      {uR"(C:\dir\)", R"(C:\\dir\\)"},
      {u"tab\there", R"(tab\u0009here)"},
      {u"line\r\nbreak", R"(line\u000D\u000Abreak)"},
      {std::u16string(u"nul\0x", 5), R"(nul\u0000x)"},
      {u"\u007f\u0080\u009f\u00a0", "\\u007F\\u0080\\u009F\xC2\xA0"},
      {u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\xD800", R"(\uD800)"},
      {u"\xDC00\xD800", R"(\uDC00\uD800)"},
      {u"a\xD83D", R"(a\uD83D)"},
      {uR"(\u0041)", R"(\\u0041)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(escaped(c.text));
    EXPECT_EQ(escape(c.text), c.escaped);
    std::u16string back;
    ASSERT_TRUE(probe_unescape(c.escaped, &back));
    EXPECT_EQ(back, c.text);
  }
}

// Every UTF-16 string survives, and the escaped form never breaks a line.
TEST(ProcessProbeEscape, RoundTripsRandomUnits) {
  const char16_t interesting[] = {0,      9,      10,     13,     0x1F,   0x20,   u'\\', u'u',
                                  0x7E,   0x7F,   0x80,   0x9F,   0xA0,   0x7FF,  0x800, 0xD7FF,
                                  0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  for (uint64_t seed = 1; seed <= 2000; ++seed) {
    TestRandom random(seed);
    std::u16string text;
    for (size_t k = random.below(12); k > 0; --k) {
      text += random.below(2) ? interesting[random.below(sizeof interesting / 2)] : char16_t(random.below(0x10000));
    }
    std::string out = escape(text);
    for (char c : out) ASSERT_GE(static_cast<unsigned char>(c), 0x20) << "seed " << seed;
    std::u16string back;
    ASSERT_TRUE(probe_unescape(out, &back)) << "seed " << seed;
    ASSERT_EQ(back, text) << "seed " << seed << ": " << escaped(text);
  }
}

TEST(ProcessProbeEscape, RefusesWhatTheToolNeverWrites) {
  const char* bad[] = {
      R"(\)",
      R"(\x)",
      R"(\u12)",
      R"(\u12G4)",
      R"(\u00e9)" /* lower-case hex */,
      "a\tb",
      "\x7F",
      "\x80",
      "\xC3",
      "\xC0\x80" /* overlong */,
      "\xE0\x80\x80",
      "\xED\xA0\x80" /* encoded surrogate */,
      "\xF4\x90\x80\x80" /* beyond U+10FFFF */,
      "\xFF",
  };
  for (const char* text : bad) {
    std::u16string out;
    EXPECT_FALSE(probe_unescape(text, &out)) << text;
  }
}

const char kReport[] =
    "probe 1\n"
    "pid 4242\n"
    "command_line \"Z:\\\\t\\\\probe.exe\" \"a b\" \"\"\n"
    "argc 3\n"
    "arg Z:\\\\t\\\\probe.exe\n"
    "arg a b\n"
    "arg \n"
    "handle input present=1 type=char nul=1 console=0\n"
    "handle output present=1 type=pipe nul=0 console=0\n"
    "handle error present=0 type=none nul=0 console=0\n"
    "console 1\n"
    "console_window 0\n"
    "error_mode 0x8001\n"
    "current_directory C:\\\\work\n"
    "module Z:\\\\t\\\\probe.exe\n"
    "env_name =C:\n"
    "env_name A\n"
    "env_name \xC3\xA9t\\uD800\n"
    "variable A\n"
    "value one two \n"
    "variable MISSING\n"
    "absent\n"
    "variable EMPTY\n"
    "value \n"
    "stdin_read ok\n"
    "stdin_data x\\u000A\xC3\xBF\n"
    "stdout_write ok\n"
    "stderr_write error 6\n"
    "end\n";

TEST(ProcessProbeReport, ReadsEveryField) {
  ProbeReport r;
  std::string error;
  ASSERT_TRUE(parse_probe_report(kReport, &r, &error)) << error;
  EXPECT_EQ(r.pid, 4242u);
  EXPECT_EQ(r.command_line, uR"("Z:\t\probe.exe" "a b" "")");
  EXPECT_EQ(r.args, (std::vector<std::u16string>{uR"(Z:\t\probe.exe)", u"a b", u""}));
  EXPECT_TRUE(r.handles[0].present);
  EXPECT_EQ(r.handles[0].type, "char");
  EXPECT_TRUE(r.handles[0].nul);
  EXPECT_EQ(r.handles[1].type, "pipe");
  EXPECT_FALSE(r.handles[1].nul);
  EXPECT_FALSE(r.handles[2].present);
  EXPECT_TRUE(r.console);
  EXPECT_FALSE(r.console_window);
  EXPECT_EQ(r.error_mode, 0x8001u);
  EXPECT_EQ(r.current_directory, uR"(C:\work)");
  EXPECT_EQ(r.module, uR"(Z:\t\probe.exe)");
  EXPECT_EQ(r.env_names, (std::vector<std::u16string>{u"=C:", u"A", u"\u00e9t\xD800"}));
  ASSERT_NE(r.variable(u"A"), nullptr);
  EXPECT_TRUE(r.variable(u"A")->present);
  EXPECT_EQ(r.variable(u"A")->value, u"one two ");
  ASSERT_NE(r.variable(u"MISSING"), nullptr);
  EXPECT_FALSE(r.variable(u"MISSING")->present);
  ASSERT_NE(r.variable(u"EMPTY"), nullptr);
  EXPECT_TRUE(r.variable(u"EMPTY")->present);
  EXPECT_EQ(r.variable(u"EMPTY")->value, u"");
  EXPECT_EQ(r.variable(u"a"), nullptr);
  EXPECT_TRUE(r.stdin_read.asked);
  EXPECT_EQ(r.stdin_read.error, 0u);
  EXPECT_EQ(r.stdin_data, std::string("x\n\xFF"));
  EXPECT_TRUE(r.stdout_write.asked);
  EXPECT_EQ(r.stdout_write.error, 0u);
  EXPECT_TRUE(r.stderr_write.asked);
  EXPECT_EQ(r.stderr_write.error, 6u);
}

TEST(ProcessProbeReport, RefusesBrokenReports) {
  const std::string good = kReport;
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() / 2)},
      {"no final line feed", good.substr(0, good.size() - 1)},
      {"other version", replaced("probe 1", "probe 2")},
      {"unknown line", replaced("console_window 0\n", "console_window 0\nsurprise 1\n")},
      {"count too high", replaced("argc 3", "argc 4")},
      {"count too low", replaced("argc 3", "argc 2")},
      {"bad escape", replaced("arg a b", R"(arg a\qb)")},
      {"bad handle kind", replaced("handle error", "handle other")},
      {"handle field missing", replaced(" console=0\nhandle output", "\nhandle output")},
      {"present but type none", replaced("present=1 type=char", "present=1 type=none")},
      {"bad flag", replaced("console_window 0", "console_window 2")},
      {"flag missing", replaced("console 1", "console")},
      {"error mode not hex", replaced("error_mode 0x8001", "error_mode 32769")},
      {"variable without value line", replaced("variable MISSING\nabsent\n", "variable MISSING\n")},
      {"error outcome with code 0", replaced("stderr_write error 6", "stderr_write error 0")},
      {"stdin byte beyond 0xFF", replaced("stdin_data x", "stdin_data \xC4\x80")},
      {"pid not a number", replaced("pid 4242", "pid 42a")},
  };
  for (const Case& c : cases) {
    ProbeReport r;
    std::string error;
    EXPECT_FALSE(parse_probe_report(c.text, &r, &error)) << c.what;
    if (!c.text.empty()) EXPECT_FALSE(error.empty()) << c.what;
  }
}

}  // namespace
