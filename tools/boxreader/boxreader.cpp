// boxreader: starts a program, reads the message box it shows (title and
// text), presses OK, waits for the program and reports its full 32-bit exit
// code. Used by the demo and by scripts that cannot read Windows windows
// themselves.
//
//   boxreader [--timeout MS] program [arguments...]
//
// Output (UTF-8, one field a line; a line feed in a text is shown as the two
// characters \n, carriage returns as \r):
//   box: yes|no
//   title: <title>
//   text: <text>
//   exit: <exit code in decimal>
#include <windows.h>

#include <string>

#include "cmdline/quote.h"
#include "support/message_box.h"
#include "support/test_support.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

namespace {

void write_out(const std::string& s) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), DWORD(s.size()), &written, nullptr);
}

std::string field(const std::u16string& text) {
  std::string out;
  for (char c : utf8(text)) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DWORD timeout = 10000;
  int first = 1;
  if (argc > 2 && lstrcmpW(argv[1], L"--timeout") == 0) {
    timeout = DWORD(_wtoi(argv[2]));
    first = 3;
  }
  if (first >= argc) {
    write_out("usage: boxreader [--timeout MS] program [arguments...]\n");
    return 2;
  }
  char16_t* command = join_command_line(reinterpret_cast<const char16_t* const*>(argv + first));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!command ||
      !CreateProcessW(nullptr, to_wchar(command), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    write_out("error: cannot start the program (" + std::to_string(GetLastError()) + ")\n");
    return 2;
  }
  wide_free(command);
  CloseHandle(process.hThread);

  MessageBoxSeen box;
  DWORD start = GetTickCount();
  // Poll for the box while the program runs; a program that ends shows none.
  while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && GetTickCount() - start < timeout) {
    box = read_message_box(process.dwProcessId, 50, true);
    if (box.found) break;
  }
  write_out(std::string("box: ") + (box.found ? "yes" : "no") + "\n");
  if (box.found) {
    write_out("title: " + field(box.title) + "\n");
    write_out("text: " + field(box.text) + "\n");
  }
  if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    write_out("exit: timeout\n");
    return 3;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  write_out("exit: " + std::to_string(code) + "\n");
  return 0;
}
