// A stand-in tavrin.exe for launchers run as services. A service process gets
// its environment from the service control manager, so the probe's
// environment controls cannot reach the tool there; this tool takes its
// orders from the launcher's own arguments, which the launcher passes on:
//
//   --marker=PATH     write "pid=", "argc=" and "argN=" lines (UTF-8) to PATH,
//                     through a temporary file, so a marker is always whole
//   --wait-for=PATH   then wait until PATH exists (at most 60 s)
//   --exit=N          then exit with N (decimal; default 0)
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

const DWORD kWaitLimitMs = 60000;

std::string utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return "";
  std::string out(size_t(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

const wchar_t* option_value(const wchar_t* arg, const wchar_t* name) {
  size_t n = wcslen(name);
  return wcsncmp(arg, name, n) == 0 ? arg + n : nullptr;
}

bool write_marker(const std::wstring& path, const std::string& text) {
  std::wstring temporary = path + L".tmp";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(file);
  return ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 90;
  const wchar_t* marker = nullptr;
  const wchar_t* wait_for = nullptr;
  unsigned long exit_code = 0;
  std::string text = "pid=" + std::to_string(GetCurrentProcessId()) + "\nargc=" + std::to_string(argc) + "\n";
  for (int i = 0; i < argc; ++i) {
    text += "arg" + std::to_string(i) + "=" + utf8(argv[i]) + "\n";
    if (const wchar_t* value = option_value(argv[i], L"--marker=")) marker = value;
    if (const wchar_t* value = option_value(argv[i], L"--wait-for=")) wait_for = value;
    if (const wchar_t* value = option_value(argv[i], L"--exit=")) exit_code = wcstoul(value, nullptr, 10);
  }
  if (marker && !write_marker(marker, text)) return 91;
  if (wait_for) {
    DWORD start = GetTickCount();
    while (GetFileAttributesW(wait_for) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount() - start > kWaitLimitMs) return 92;
      Sleep(10);
    }
  }
  return int(exit_code);
}
