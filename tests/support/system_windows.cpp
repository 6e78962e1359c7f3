#include "support/system.h"

#include <windows.h>

#include "support/windows_process.h"

namespace {

using WineVersion = const char*(CDECL*)();

WineVersion wine_version_function() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<WineVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
               : nullptr;
}

}  // namespace

bool running_under_wine() { return wine_version_function() != nullptr; }

std::string system_name() {
  if (WineVersion version = wine_version_function()) return std::string("Wine ") + version();
  // GetVersionExW answers according to the program's manifest; ntdll's own
  // call gives the real version.
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get_version = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!get_version || get_version(&info) != 0) return "Windows (version unknown)";
  return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
         std::to_string(info.dwBuildNumber);
}

namespace {
const char16_t kUnavailable[] = u"unavailable: ";
}  // namespace

std::u16string given_resource(const wchar_t* variable, std::string* unavailable) {
  const std::u16string mark = kUnavailable;
  std::u16string value = environment_text(variable);
  if (value.compare(0, mark.size(), mark) != 0) return value;
  *unavailable = utf8(value.substr(mark.size()));
  return u"";
}

std::u16string unavailable_resource(const std::string& why) { return kUnavailable + u16(why); }

bool can_create_services(std::string* why) {
  SC_HANDLE manager = open_service_manager(SC_MANAGER_CREATE_SERVICE);
  if (manager) {
    CloseServiceHandle(manager);
    return true;
  }
  DWORD error = GetLastError();
  *why = system_name() + " refuses this process the right to create services (error " + std::to_string(error) +
         (error == ERROR_ACCESS_DENIED ? ": that takes administrator rights; run the tests from an elevated prompt to "
                                         "include this test)"
                                       : ")");
  return false;
}
