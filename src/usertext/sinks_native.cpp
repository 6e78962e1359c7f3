// Native stand-in of the system writer: a handle is a file descriptor cast
// to a pointer, and errno values are reported as the Windows codes that the
// write-all loop understands.
#include <cerrno>
#include <cstdint>

#include <unistd.h>

#include "usertext/sinks.h"

namespace {

uint32_t windows_error_of(int error) {
  switch (error) {
    case EBADF: return 6;     // ERROR_INVALID_HANDLE
    case EPIPE: return 109;   // ERROR_BROKEN_PIPE
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case EFBIG: return 39;    // ERROR_HANDLE_DISK_FULL
    case EINVAL: return 87;   // ERROR_INVALID_PARAMETER
    case EACCES: return 5;    // ERROR_ACCESS_DENIED
    default: return 31;       // ERROR_GEN_FAILURE
  }
}

}  // namespace

bool system_write_bytes(void* handle, const char* bytes, uint32_t count, uint32_t* written, uint32_t* error) {
  int fd = static_cast<int>(reinterpret_cast<intptr_t>(handle));
  for (;;) {
    ssize_t result = write(fd, bytes, count);
    if (result >= 0) {
      *written = static_cast<uint32_t>(result);
      return true;
    }
    if (errno == EINTR) continue;
    *written = 0;
    *error = windows_error_of(errno);
    return false;
  }
}

void* system_standard_handle(bool error_stream) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(error_stream ? STDERR_FILENO : STDOUT_FILENO));
}
