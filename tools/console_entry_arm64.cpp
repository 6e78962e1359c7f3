// The entry of the console helper programs of the ARM64 tree (the probe, the
// box reader, the launch timer), in place of the C runtime's start-up object
// that mingw-w64 brings for the other trees and that does not exist for
// this one: wmain gets the command line as the system splits it, and its
// result is the exit code. The C runtime (msvcrt.dll) sets itself up when
// it is loaded.
#include <windows.h>
#include <shellapi.h>

int wmain(int argc, wchar_t** argv);

extern "C" __attribute__((noreturn)) void console_process_start() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  ExitProcess(UINT(argv ? wmain(argc, argv) : 2));
}
