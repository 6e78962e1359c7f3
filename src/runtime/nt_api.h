// Entry points of the Windows native system call layer (ntdll), resolved by
// name once at start-up. Nothing in the launchers calls through the table yet;
// it is prepared for runtime code that needs the native calls. Windows only.
#pragma once

#include <cstdint>

// Entries whose parameters nobody here relies on keep this generic type and
// must be cast to their real signature before a call.
using NtEntryPoint = int32_t(__stdcall*)();

// Null until resolved; an export that ntdll lacks stays null.
struct NtApiTable {
  uint32_t(__stdcall* RtlNtStatusToDosError)(int32_t status);
  NtEntryPoint NtCreateFile;
  NtEntryPoint NtLoadDriver;
  NtEntryPoint NtUnloadDriver;
  NtEntryPoint NtOpenSymbolicLinkObject;
  NtEntryPoint NtQuerySymbolicLinkObject;
  NtEntryPoint NtDeviceIoControlFile;
  NtEntryPoint NtQueryVolumeInformationFile;
  NtEntryPoint NtQueryInformationFile;
  NtEntryPoint NtSetInformationFile;
};

extern NtApiTable g_nt_api;

// The start-up step: fills the table from the loaded ntdll (left all null
// when the module is not found).
void init_nt_api_table();
