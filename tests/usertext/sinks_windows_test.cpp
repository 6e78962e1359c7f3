// The text sinks with real Windows handles: files, pipes and the standard
// handles, and the bytes checked against WideCharToMultiByte.
#include <windows.h>

#include <string>

#include "text/wchar_cast.h"
#include "usertext_test_util.h"

namespace {

struct TempFile {
  wchar_t path[MAX_PATH];
  HANDLE handle = INVALID_HANDLE_VALUE;
  TempFile() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"uts", 0, path);
    handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  }
  ~TempFile() {
    CloseHandle(handle);
    DeleteFileW(path);
  }
  std::string contents() const {
    HANDLE reader =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string out;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(reader, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
    CloseHandle(reader);
    return out;
  }
};

TEST(UsertextWindowsSinks, TextReachesAFile) {
  TempFile file;
  WriteTextToHandle(file.handle, u"first", true);
  WriteTextToHandle(file.handle, u"second", false);
  std::u16string long_line(1000, u'L');
  WriteTextToHandle(file.handle, long_line.c_str(), true);
  EXPECT_EQ(file.contents(), "first\r\nsecond" + std::string(1000, 'L') + "\r\n");
}

TEST(UsertextWindowsSinks, BytesMatchTheAnsiCodePage) {
  // Each character alone: what WideCharToMultiByte gives without best fit,
  // or 0x7F when the page has no exact form.
  const char16_t samples[] = {u'A', 0x00E9, 0x00FC, 0x20AC, 0x0416, 0x4E2D, 0x0153, 0x2019, 0x00A0, 0xFFFD};
  for (char16_t c : samples) {
    wchar_t unit = static_cast<wchar_t>(c);
    char bytes[8];
    BOOL used_default = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, sizeof bytes, nullptr, &used_default);
    std::string expected = (n <= 0 || used_default) ? std::string("\x7f") : std::string(bytes, size_t(n));
    TempFile file;
    char16_t text[2] = {c, 0};
    WriteTextToHandle(file.handle, text, false);
    EXPECT_EQ(file.contents(), expected) << "U+" << std::hex << unsigned(c);
  }
}

TEST(UsertextWindowsSinks, BrokenPipeCountsAsSuccess) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  CloseHandle(read_end);
  uint32_t written = 0, error = 0;
  EXPECT_FALSE(system_write_bytes(write_end, "abc", 3, &written, &error));
  EXPECT_TRUE(error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) << error;
  size_t count = 9;
  EXPECT_EQ(write_all(write_end, "abc", 3, &count, system_write_bytes), 0u);
  EXPECT_EQ(count, 0u);
  WriteTextToHandle(write_end, u"nobody reads this", true);
  CloseHandle(write_end);
}

TEST(UsertextWindowsSinks, ARefusedFirstWriteIsReported) {
  TempFile file;
  HANDLE read_only =
      CreateFileW(file.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(read_only, INVALID_HANDLE_VALUE);
  size_t count = 9;
  EXPECT_EQ(write_all(read_only, "abc", 3, &count, system_write_bytes), uint32_t(ERROR_ACCESS_DENIED));
  EXPECT_EQ(count, 0u);
  CloseHandle(read_only);
  EXPECT_EQ(write_all(INVALID_HANDLE_VALUE, "abc", 3, &count, system_write_bytes), uint32_t(ERROR_INVALID_HANDLE));
  EXPECT_EQ(write_all(nullptr, "abc", 3, &count, system_write_bytes), uint32_t(ERROR_INVALID_HANDLE));
}

TEST(UsertextWindowsSinks, StandardSinksFollowTheStandardHandles) {
  HANDLE saved_out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE saved_err = GetStdHandle(STD_ERROR_HANDLE);
  TempFile out, err;
  SetStdHandle(STD_OUTPUT_HANDLE, out.handle);
  SetStdHandle(STD_ERROR_HANDLE, err.handle);
  EXPECT_EQ(system_standard_handle(false), out.handle);
  EXPECT_EQ(system_standard_handle(true), err.handle);
  WriteLines(StdoutSink, u"to out\r\nand more");
  WriteLines(StderrSink, u"to err\n");
  WriteLines(NullSink, u"nowhere\n");
  SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
  WriteLines(StdoutSink, u"lost\n");  // no handle: nothing, no crash
  SetStdHandle(STD_OUTPUT_HANDLE, saved_out);
  SetStdHandle(STD_ERROR_HANDLE, saved_err);
  EXPECT_EQ(out.contents(), "to out\r\nand more");
  EXPECT_EQ(err.contents(), "to err\r\n");
}

}  // namespace
