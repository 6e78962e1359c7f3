// Windows handles as the runtime treats them, without Windows headers.
#pragma once

#include <cstdint>

// A handle that is null or has all bits set (INVALID_HANDLE_VALUE) names
// nothing: both are tested everywhere a handle is used.
inline bool is_handle(const void* handle) {
  return handle != nullptr && handle != reinterpret_cast<const void*>(static_cast<intptr_t>(-1));
}

// The pseudo handles of the current process and thread: the documented
// constant values that GetCurrentProcess and GetCurrentThread return. Used
// as constants, they cost the programs no import.
inline void* current_process_handle() { return reinterpret_cast<void*>(static_cast<intptr_t>(-1)); }
inline void* current_thread_handle() { return reinterpret_cast<void*>(static_cast<intptr_t>(-2)); }
