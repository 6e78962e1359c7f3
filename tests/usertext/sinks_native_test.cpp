// The text sinks against real file descriptors, and the cut of a long line
// in the native stand-in code page, which has double-byte characters.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/utf.h"
#include "usertext_test_util.h"

namespace {

using usertext_test::AllocationGuard;

void* handle_of(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }

std::string drain(int fd) {
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
  return out;
}

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    if (fds[0] >= 0) close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
  }
  void close_read() {
    close(fds[0]);
    fds[0] = -1;
  }
  void close_write() {
    close(fds[1]);
    fds[1] = -1;
  }
};

TEST(UsertextNativeSinks, WritesReachTheDescriptor) {
  Pipe p;
  WriteTextToHandle(handle_of(p.fds[1]), u"one", true);
  WriteTextToHandle(handle_of(p.fds[1]), u"two", false);
  std::u16string long_line(500, u'L');
  WriteTextToHandle(handle_of(p.fds[1]), long_line.c_str(), true);
  p.close_write();
  EXPECT_EQ(drain(p.fds[0]), "one\r\ntwo" + std::string(500, 'L') + "\r\n");
}

TEST(UsertextNativeSinks, BrokenPipeEndsTheOutputQuietly) {
  signal(SIGPIPE, SIG_IGN);
  Pipe p;
  p.close_read();
  uint32_t written = 7, error = 0;
  EXPECT_FALSE(system_write_bytes(handle_of(p.fds[1]), "abc", 3, &written, &error));
  EXPECT_EQ(error, 109u);
  size_t count = 5;
  EXPECT_EQ(write_all(handle_of(p.fds[1]), "abc", 3, &count, system_write_bytes), 0u);
  EXPECT_EQ(count, 0u);
  WriteTextToHandle(handle_of(p.fds[1]), u"nobody reads this", true);
}

TEST(UsertextNativeSinks, OtherErrorsBeforeAnyProgressAreReported) {
  int fd = open("/dev/null", O_WRONLY);
  ASSERT_GE(fd, 0);
  close(fd);  // now a descriptor that is not open
  size_t count = 5;
  EXPECT_EQ(write_all(handle_of(fd), "abc", 3, &count, system_write_bytes), 6u);
  EXPECT_EQ(count, 0u);
  // Read-only descriptor: the write is refused.
  int read_only = open("/dev/null", O_RDONLY);
  ASSERT_GE(read_only, 0);
  EXPECT_NE(write_all(handle_of(read_only), "abc", 3, &count, system_write_bytes), 0u);
  close(read_only);
}

TEST(UsertextNativeSinks, AFullNonBlockingPipeGivesAShortWrite) {
  Pipe p;
  ASSERT_EQ(fcntl(p.fds[1], F_SETFL, O_NONBLOCK), 0);
  std::string data(4 << 20, 'p');
  size_t count = 0;
  EXPECT_EQ(write_all(handle_of(p.fds[1]), data.data(), data.size(), &count, system_write_bytes), 0u);
  EXPECT_GT(count, 0u);
  EXPECT_LT(count, data.size());
}

// Runs `write` with descriptor `fd` (1 or 2) redirected to a pipe and
// returns what reached it.
template <typename Write>
std::string capture(int fd, Write write) {
  fflush(nullptr);
  Pipe p;
  int saved = dup(fd);
  dup2(p.fds[1], fd);
  write();
  dup2(saved, fd);
  close(saved);
  p.close_write();
  return drain(p.fds[0]);
}

TEST(UsertextNativeSinks, StandardSinksWriteLinesWithCrLf) {
  EXPECT_EQ(capture(1, [] { WriteLines(StdoutSink, u"out 1\nout 2"); }), "out 1\r\nout 2");
  EXPECT_EQ(capture(2, [] { WriteLines(StderrSink, u"err\r\n"); }), "err\r\n");
  EXPECT_EQ(capture(1, [] { WriteLines(StderrSink, u"elsewhere\n"); }), "");
  EXPECT_EQ(capture(1, [] { WriteLines(NullSink, u"dropped\n"); }), "");
}

// The first character of the stand-in ANSI page that takes two bytes.
char16_t double_byte_character() {
  for (char16_t c = 0x80; c < 0xFFFF; ++c) {
    char16_t text[2] = {c, 0};
    if (wide_to_ansi(nullptr, 0, text) == 2) return c;
  }
  return 0;
}

TEST(UsertextNativeSinks, ACutLineNeverEndsInsideADoubleByteCharacter) {
  char16_t wide = double_byte_character();
  ASSERT_NE(wide, 0) << "the native code page has no double-byte character";
  char16_t both[2] = {wide, 0};
  char bytes[3];
  wide_to_ansi(bytes, 3, both);
  std::string dbcs(bytes, 2);

  struct Case {
    size_t ascii_before;
    std::string kept;
  } cases[] = {
      // 196 + 2 would end at byte 198: the character goes whole.
      {196, std::string(196, 'a')},
      // 195 + 2 ends exactly at byte 197: it stays.
      {195, std::string(195, 'a') + dbcs},
      {194, std::string(194, 'a') + dbcs + "z"},
  };
  for (const Case& c : cases) {
    std::u16string text(c.ascii_before, u'a');
    text += wide;
    text += std::u16string(100, u'z');
    Pipe p;
    {
      AllocationGuard refuse_all(0);
      WriteTextToHandle(handle_of(p.fds[1]), text.c_str(), true);
    }
    p.close_write();
    EXPECT_EQ(drain(p.fds[0]), c.kept + "\r\n") << c.ascii_before;
  }
  // Lines made only of double-byte characters: 98 of them fill 196 bytes.
  std::u16string all_wide(150, wide);
  Pipe p;
  {
    AllocationGuard refuse_all(0);
    WriteTextToHandle(handle_of(p.fds[1]), all_wide.c_str(), false);
  }
  p.close_write();
  std::string expected;
  for (int i = 0; i < 98; ++i) expected += dbcs;
  EXPECT_EQ(drain(p.fds[0]), expected);
}

TEST(UsertextNativeSinks, DoubleByteLinesNeedTheirFullSize) {
  char16_t wide = double_byte_character();
  ASSERT_NE(wide, 0);
  // 100 characters, 200 bytes: allocated, written whole.
  std::u16string text(100, wide);
  Pipe p;
  AllocationGuard record;
  WriteTextToHandle(handle_of(p.fds[1]), text.c_str(), true);
  p.close_write();
  EXPECT_EQ(drain(p.fds[0]).size(), 202u);
  ASSERT_EQ(usertext_test::requests.size(), 1u);
  EXPECT_EQ(usertext_test::requests[0], 203u);
}

}  // namespace
