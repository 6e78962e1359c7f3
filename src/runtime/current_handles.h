// The pseudo handles of the current process and thread. They are the
// documented constant values that GetCurrentProcess and GetCurrentThread
// return; used as constants, they cost the programs no import. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

inline HANDLE current_process_handle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
inline HANDLE current_thread_handle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
