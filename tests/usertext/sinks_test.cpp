#include "usertext/sinks.h"

#include <deque>
#include <string>
#include <vector>

#include "text/utf.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::AllocationGuard;
using usertext_test::RecordingSink;
using usertext_test::SinkCall;

// --- WriteLines --------------------------------------------------------------

std::vector<SinkCall> lines_of(const char16_t* text) {
  RecordingSink sink{{&usertext_test::kRecordingOps}, {}};
  WriteLines(&sink.base, text);
  return sink.calls;
}

TEST(UsertextWriteLines, SplitsAtLineFeedsAndDropsOneCarriageReturn) {
  struct Case {
    const char16_t* text;
    std::vector<SinkCall> calls;
  } cases[] = {
      {u"a\r\nb", {{u"a", true, nullptr}, {u"b", false, nullptr}}},
      {u"a\n\nb\n", {{u"a", true, nullptr}, {u"", true, nullptr}, {u"b", true, nullptr}}},
      {u"\r\n", {{u"", true, nullptr}}},
      {u"\n", {{u"", true, nullptr}}},
      {u"a\rb", {{u"a\rb", false, nullptr}}},
      {u"a\r", {{u"a\r", false, nullptr}}},
      {u"a\r\r\n", {{u"a\r", true, nullptr}}},
      {u"\r\r\n\r", {{u"\r", true, nullptr}, {u"\r", false, nullptr}}},
      {u"only", {{u"only", false, nullptr}}},
      {u"", {{u"", false, nullptr}}},
      {nullptr, {{u"", false, nullptr}}},
      {u"\u00e9\U0001F600\n\u20ac", {{u"\u00e9\U0001F600", true, nullptr}, {u"\u20ac", false, nullptr}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lines_of(c.text), c.calls) << escaped(usertext_test::S(c.text));
  }
}

TEST(UsertextWriteLines, TheUnterminatedRestIsPassedInPlace) {
  const char16_t* text = u"first\nrest";
  RecordingSink sink{{&usertext_test::kRecordingOps}, {}};
  WriteLines(&sink.base, text);
  ASSERT_EQ(sink.calls.size(), 2u);
  EXPECT_EQ(sink.calls[1].pointer, text + 6);
  // Whole lines are copies: their line feed is not part of them.
  EXPECT_NE(sink.calls[0].pointer, text);
}

TEST(UsertextWriteLines, MatchesASplitModelOnRandomTexts) {
  const char16_t alphabet[] = {u'a', u'\r', u'\n', u'\n', u'b', 0x20AC};
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    TestRandom rnd(seed);
    std::u16string text;
    for (uint32_t i = 0, n = rnd.below(20); i < n; ++i) text += alphabet[rnd.below(6)];
    std::vector<SinkCall> expected;
    if (text.empty()) expected.push_back({u"", false, nullptr});
    size_t start = 0;
    for (size_t lf; (lf = text.find(u'\n', start)) != std::u16string::npos; start = lf + 1) {
      std::u16string line = text.substr(start, lf - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      expected.push_back({line, true, nullptr});
    }
    if (start < text.size()) expected.push_back({text.substr(start), false, nullptr});
    EXPECT_EQ(lines_of(text.c_str()), expected);
  }
}

TEST(UsertextWriteLines, NoSinkAndLackOfMemory) {
  WriteLines(nullptr, u"nothing\nhappens");  // must not crash
  AllocationGuard refuse_all(0);
  std::vector<SinkCall> expected = {{u"", true, nullptr}, {u"", true, nullptr}, {u"c", false, nullptr}};
  EXPECT_EQ(lines_of(u"a\nb\nc"), expected);
}

// --- The write-all loop with a scripted writer -----------------------------

struct Response {
  bool ok;
  int64_t written;  // -1: everything asked for
  uint32_t error;
};

struct WriterCall {
  void* handle;
  size_t offset;
  uint32_t count;
};

std::deque<Response> g_script;
std::vector<WriterCall> g_calls;
std::string g_written;
const char* g_base = nullptr;

bool scripted_writer(void* handle, const char* bytes, uint32_t count, uint32_t* written, uint32_t* error) {
  g_calls.push_back({handle, size_t(bytes - g_base), count});
  Response r = {true, -1, 0};
  if (!g_script.empty()) {
    r = g_script.front();
    g_script.pop_front();
  }
  uint32_t done = r.written < 0 ? count : uint32_t(r.written);
  if (r.ok) {
    g_written.append(bytes, done < count ? done : count);
    *written = done;
    return true;
  }
  *written = 0;
  *error = r.error;
  return false;
}

void* const kHandle = reinterpret_cast<void*>(uintptr_t(0x40));

class UsertextWriteAll : public ::testing::Test {
 protected:
  void SetUp() override {
    g_script.clear();
    g_calls.clear();
    g_written.clear();
  }
  uint32_t run(const std::string& data, size_t* count, std::deque<Response> script) {
    g_script = std::move(script);
    g_base = data.data();
    return write_all(kHandle, data.data(), data.size(), count, scripted_writer);
  }
};

TEST_F(UsertextWriteAll, NoHandleWritesNothing) {
  size_t count = 99;
  std::string data = "abc";
  g_base = data.data();
  EXPECT_EQ(write_all(reinterpret_cast<void*>(~uintptr_t(0)), data.data(), 3, &count, scripted_writer), 6u);
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_EQ(write_all(nullptr, data.data(), 3, &count, scripted_writer), 6u);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(g_calls.empty());
}

struct WriteOutcome {
  const char* name;
  std::deque<Response> script;
  uint32_t result;
  size_t count;
  size_t calls;
};

void PrintTo(const WriteOutcome& outcome, std::ostream* os) { *os << outcome.name; }

class UsertextWriteAllOutcome : public UsertextWriteAll, public ::testing::WithParamInterface<WriteOutcome> {};

TEST_P(UsertextWriteAllOutcome, OfTenBytes) {
  const WriteOutcome& c = GetParam();
  size_t count = 12345;
  EXPECT_EQ(run("0123456789", &count, c.script), c.result);
  EXPECT_EQ(count, c.count);
  EXPECT_EQ(g_calls.size(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsertextWriteAllOutcome,
    ::testing::Values(WriteOutcome{"all at once", {}, 0, 10, 1},
                      WriteOutcome{"short write ends the loop", {{true, 4, 0}}, 0, 4, 1},
                      WriteOutcome{"nothing written is short too", {{true, 0, 0}}, 0, 0, 1},
                      WriteOutcome{"broken pipe first", {{false, 0, 109}}, 0, 0, 1},
                      WriteOutcome{"no data first", {{false, 0, 232}}, 0, 0, 1},
                      WriteOutcome{"end of file first", {{false, 0, 38}}, 0, 0, 1},
                      WriteOutcome{"handle disk full first", {{false, 0, 39}}, 0, 0, 1},
                      WriteOutcome{"disk full first", {{false, 0, 112}}, 0, 0, 1},
                      WriteOutcome{"other error first", {{false, 0, 5}}, 5, 0, 1},
                      WriteOutcome{"invalid handle reported by the system", {{false, 0, 6}}, 6, 0, 1},
                      WriteOutcome{"a count beyond the request is capped", {{true, 50, 0}}, 0, 10, 1}));

TEST_F(UsertextWriteAll, NothingToWriteMakesNoCall) {
  EXPECT_EQ(run("", nullptr, {{false, 0, 5}}), 0u);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(UsertextWriteAll, ChunksOfSixteenMebibytes) {
  const size_t mib16 = size_t(16) << 20;
  std::string data(2 * mib16 + 5, 'c');
  size_t count = 0;
  EXPECT_EQ(run(data, &count, {}), 0u);
  EXPECT_EQ(count, data.size());
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].offset, 0u);
  EXPECT_EQ(g_calls[0].count, mib16);
  EXPECT_EQ(g_calls[1].offset, mib16);
  EXPECT_EQ(g_calls[1].count, mib16);
  EXPECT_EQ(g_calls[2].offset, 2 * mib16);
  EXPECT_EQ(g_calls[2].count, 5u);
  for (const WriterCall& call : g_calls) EXPECT_EQ(call.handle, kHandle);
}

TEST_F(UsertextWriteAll, ErrorsAfterProgressCountAsSuccess) {
  const size_t mib16 = size_t(16) << 20;
  std::string data(mib16 + 100, 'd');
  size_t count = 0;
  EXPECT_EQ(run(data, &count, {{true, -1, 0}, {false, 0, 5}}), 0u);
  EXPECT_EQ(count, mib16);
  EXPECT_EQ(run(data, &count, {{true, -1, 0}, {false, 0, 109}}), 0u);
  EXPECT_EQ(count, mib16);
  // A short first chunk stops before the second.
  g_calls.clear();
  EXPECT_EQ(run(data, &count, {{true, 1000, 0}}), 0u);
  EXPECT_EQ(count, 1000u);
  EXPECT_EQ(g_calls.size(), 1u);
}

// --- Writing a line of text --------------------------------------------------

std::string write_line(const char16_t* text, bool end_of_line) {
  g_script.clear();
  g_calls.clear();
  g_written.clear();
  g_base = nullptr;
  write_text(kHandle, text, end_of_line,
             [](void* handle, const char* bytes, uint32_t count, uint32_t* written, uint32_t* error) {
               g_calls.push_back({handle, 0, count});
               g_written.append(bytes, count);
               *written = count;
               return true;
             });
  return g_written;
}

TEST(UsertextWriteText, AsciiLinesWithAndWithoutLineEnd) {
  EXPECT_EQ(write_line(u"hello", true), "hello\r\n");
  EXPECT_EQ(write_line(u"hello", false), "hello");
  EXPECT_EQ(write_line(u"", true), "\r\n");
  EXPECT_EQ(write_line(nullptr, true), "\r\n");
  // An empty text without a line end is a write of nothing, not a call.
  EXPECT_EQ(write_line(u"", false), "");
  EXPECT_TRUE(g_calls.empty());
}

TEST(UsertextWriteText, NoHandleWritesNothing) {
  g_calls.clear();
  write_text(nullptr, u"x", true, scripted_writer);
  write_text(reinterpret_cast<void*>(~uintptr_t(0)), u"x", true, scripted_writer);
  EXPECT_TRUE(g_calls.empty());
}

TEST(UsertextWriteText, TheCodePageConversionIsUsed) {
  // Whatever the ANSI code page, the bytes are what the converter makes.
  const char16_t* text = u"a\u00e9\u20ac\U0001F600z";
  std::string expected(wide_to_ansi(nullptr, 0, text), '\0');
  wide_to_ansi_unbounded(expected.data(), text);
  EXPECT_EQ(write_line(text, true), expected + "\r\n");
  // A character outside the BMP has no ANSI form.
  EXPECT_EQ(write_line(u"\U0001F600", false), "\x7f");
}

TEST(UsertextWriteText, LongLinesUseOneExactHeapBuffer) {
  struct Case {
    size_t length;
    bool allocates;
  } cases[] = {{196, false}, {197, false}, {198, true}, {199, true}, {200, true}, {300, true}, {70000, true}};
  for (const Case& c : cases) {
    std::u16string text(c.length, u'x');
    text.back() = u'E';
    AllocationGuard record;
    std::string written = write_line(text.c_str(), true);
    EXPECT_EQ(written, std::string(c.length - 1, 'x') + "E\r\n") << c.length;
    if (c.allocates) {
      ASSERT_EQ(usertext_test::requests.size(), 1u) << c.length;
      EXPECT_EQ(usertext_test::requests[0], c.length + 3) << c.length;
    } else {
      EXPECT_TRUE(usertext_test::requests.empty()) << c.length;
    }
    EXPECT_EQ(g_calls.size(), 1u);
  }
}

TEST(UsertextWriteText, WithoutHeapALongLineIsCutTo197Bytes) {
  for (size_t length : {size_t(198), size_t(300)}) {
    std::u16string text(length, u'y');
    AllocationGuard refuse_all(0);
    EXPECT_EQ(write_line(text.c_str(), true), std::string(197, 'y') + "\r\n") << length;
    EXPECT_EQ(write_line(text.c_str(), false), std::string(197, 'y')) << length;
  }
}

}  // namespace
