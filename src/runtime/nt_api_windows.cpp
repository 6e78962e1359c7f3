#include "runtime/nt_api.h"

#include <windows.h>

NtApiTable g_nt_api;

namespace {

template <typename Entry>
void resolve(Entry* entry, HMODULE module, const char* name) {
  *entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void InitNtApiTable() {
  HMODULE ntdll = GetModuleHandleA("NTDLL.DLL");
  if (!ntdll) return;
  resolve(&g_nt_api.RtlNtStatusToDosError, ntdll, "RtlNtStatusToDosError");
  resolve(&g_nt_api.NtCreateFile, ntdll, "NtCreateFile");
  resolve(&g_nt_api.NtLoadDriver, ntdll, "NtLoadDriver");
  resolve(&g_nt_api.NtUnloadDriver, ntdll, "NtUnloadDriver");
  resolve(&g_nt_api.NtOpenSymbolicLinkObject, ntdll, "NtOpenSymbolicLinkObject");
  resolve(&g_nt_api.NtQuerySymbolicLinkObject, ntdll, "NtQuerySymbolicLinkObject");
  resolve(&g_nt_api.NtDeviceIoControlFile, ntdll, "NtDeviceIoControlFile");
  resolve(&g_nt_api.NtQueryVolumeInformationFile, ntdll, "NtQueryVolumeInformationFile");
  resolve(&g_nt_api.NtQueryInformationFile, ntdll, "NtQueryInformationFile");
  resolve(&g_nt_api.NtSetInformationFile, ntdll, "NtSetInformationFile");
}
