#include "runtime/nt_api.h"

#include <windows.h>

#include <cstring>

#include "text/wide.h"

NtApiTable g_nt_api;

namespace {

// The exports, one after another, in the order of the table's entries.
const char kExportNames[] =
    "RtlNtStatusToDosError\0"
    "NtCreateFile\0"
    "NtLoadDriver\0"
    "NtUnloadDriver\0"
    "NtOpenSymbolicLinkObject\0"
    "NtQuerySymbolicLinkObject\0"
    "NtDeviceIoControlFile\0"
    "NtQueryVolumeInformationFile\0"
    "NtQueryInformationFile\0"
    "NtSetInformationFile\0";

constexpr size_t kEntries = 10;
static_assert(sizeof(NtApiTable) == kEntries * sizeof(FARPROC), "one pointer-sized entry per export");

}  // namespace

void init_nt_api_table() {
  HMODULE ntdll = GetModuleHandleA("NTDLL.DLL");
  if (!ntdll) return;
  // Entry by entry in table order; a missing export leaves its entry null.
  char* entry = reinterpret_cast<char*>(&g_nt_api);
  const char* name = kExportNames;
  for (size_t i = 0; i < kEntries; ++i) {
    FARPROC address = GetProcAddress(ntdll, name);
    memcpy(entry + i * sizeof(FARPROC), &address, sizeof address);
    name += narrow_length(name) + 1;
  }
}
