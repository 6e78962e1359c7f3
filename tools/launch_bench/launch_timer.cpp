// Launch-cost benchmark driver, run under Wine: starts each given launcher
// in turn, round after round (alternating, so drifts of the machine hit all
// of them alike), waits for it, and prints the median wall time of each and
// its ratio to the first and to the second.
//
//   launch_timer ROUNDS launcher.exe [launcher.exe ...]
//
// Written with C headers only, so that the ARM64 tree builds it too.
#include <windows.h>

#include <stdlib.h>

namespace {

// The NUL device, inheritable: every launcher (and so every tool) gets it as
// its three standard handles, so the tool's report goes nowhere and no
// launcher pays for writing to a terminal.
HANDLE nul_device() {
  static HANDLE nul = INVALID_HANDLE_VALUE;
  if (nul == INVALID_HANDLE_VALUE) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                      OPEN_EXISTING, 0, nullptr);
  }
  return nul;
}

// Output through WriteFile (no stdio: its mingw-w64 wrappers need a library
// of the C runtime's start-up that the ARM64 tree lacks).
void write_text(HANDLE handle, const char* text) {
  DWORD written = 0;
  WriteFile(handle, text, DWORD(lstrlenA(text)), &written, nullptr);
}

// `value` with `decimals` digits after the point, right-aligned in `width`.
void write_number(double value, int decimals, int width) {
  char digits[48];
  int scale = 1;
  for (int d = 0; d < decimals; ++d) scale *= 10;
  long long scaled = (long long)(value * scale + 0.5);
  int n = 0;  // digits[] holds the text backwards
  do {
    if (n == decimals && decimals > 0) digits[n++] = '.';
    digits[n++] = char('0' + scaled % 10);
    scaled /= 10;
  } while ((scaled > 0 || n <= decimals) && n < 40);
  char text[64];
  int length = 0;
  for (int pad = width - n; pad > 0; --pad) text[length++] = ' ';
  while (n) text[length++] = digits[--n];
  text[length] = 0;
  write_text(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

double run_once(const wchar_t* program, LARGE_INTEGER frequency) {
  wchar_t command[MAX_PATH + 4];
  wsprintfW(command, L"\"%s\"", program);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul_device();
  PROCESS_INFORMATION process;
  LARGE_INTEGER begin, end;
  QueryPerformanceCounter(&begin);
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    write_text(GetStdHandle(STD_ERROR_HANDLE), "cannot start a launcher\n");
    ExitProcess(2);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return double(end.QuadPart - begin.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

int compare_times(const void* a, const void* b) {
  double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

double median(double* values, int n) {
  qsort(values, size_t(n), sizeof *values, compare_times);
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    write_text(GetStdHandle(STD_ERROR_HANDLE), "usage: launch_timer ROUNDS launcher.exe [launcher.exe ...]\n");
    return 2;
  }
  int rounds = _wtoi(argv[1]);
  int count = argc - 2;
  if (rounds < 1) rounds = 1;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  // One unmeasured round warms the file cache and the Wine server.
  for (int k = 0; k < count; ++k) run_once(argv[2 + k], frequency);
  // times[k * rounds + round]
  double* times = static_cast<double*>(malloc(size_t(count) * size_t(rounds) * sizeof(double)));
  double* medians = static_cast<double*>(malloc(size_t(count) * sizeof(double)));
  if (!times || !medians) return 2;
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < count; ++k) times[k * rounds + round] = run_once(argv[2 + k], frequency);
  }
  for (int k = 0; k < count; ++k) medians[k] = median(times + k * rounds, rounds);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  write_text(out, "launcher (median of               ms     / first    / second\n");
  for (int k = 0; k < count; ++k) {
    const wchar_t* name = wcsrchr(argv[2 + k], L'\\');
    name = name ? name + 1 : argv[2 + k];
    char narrow[64];
    int length = WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, 40, nullptr, nullptr);
    narrow[length > 0 ? length - 1 : 0] = 0;
    write_text(out, narrow);
    for (int pad = 24 - lstrlenA(narrow); pad > 0; --pad) write_text(out, " ");
    write_number(medians[k], 1, 11);
    write_number(medians[k] / medians[0], 3, 11);
    write_number(count > 1 ? medians[k] / medians[1] : 1.0, 3, 11);
    write_text(out, "\n");
  }
  char rounds_line[64];
  wsprintfA(rounds_line, "(%d rounds, alternating)\n", rounds);
  write_text(out, rounds_line);
  return 0;
}
