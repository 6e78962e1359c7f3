// Launch-cost benchmark driver, run under Wine: starts each given launcher
// in turn, round after round (alternating, so drifts of the machine hit all
// of them alike), waits for it, and prints the median wall time of each and
// its ratio to the first and to the second.
//
//   launch_timer ROUNDS launcher.exe [launcher.exe ...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

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
    fwprintf(stderr, L"cannot start %ls (%lu)\n", program, GetLastError());
    exit(2);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return double(end.QuadPart - begin.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: launch_timer ROUNDS launcher.exe [launcher.exe ...]\n");
    return 2;
  }
  int rounds = _wtoi(argv[1]);
  int count = argc - 2;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  // One unmeasured round warms the file cache and the Wine server.
  for (int k = 0; k < count; ++k) run_once(argv[2 + k], frequency);
  std::vector<std::vector<double>> times(static_cast<size_t>(count));
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < count; ++k) times[size_t(k)].push_back(run_once(argv[2 + k], frequency));
  }
  std::vector<double> medians;
  for (auto& t : times) medians.push_back(median(t));
  printf("%-24s %10s %10s %10s\n", "launcher (median of", "ms", "/ first", "/ second");
  for (int k = 0; k < count; ++k) {
    const wchar_t* name = wcsrchr(argv[2 + k], L'\\');
    name = name ? name + 1 : argv[2 + k];
    printf("%-24ls %10.1f %10.3f %10.3f\n", name, medians[size_t(k)], medians[size_t(k)] / medians[0],
           count > 1 ? medians[size_t(k)] / medians[1] : 1.0);
  }
  printf("(%d rounds, alternating)\n", rounds);
  return 0;
}
