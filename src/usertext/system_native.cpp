// Native stand-ins for the system calls of usertext/system.h.
//
// The locale service: a programmable stand-in for GetLocaleInfoW, with its
// conventions: the result counts the units written including the
// terminator (2 for a number), 0 means failure, and an answer that does not
// fit fails.
//
// The writer: a handle is a file descriptor cast to a pointer, and errno
// values are reported as the Windows codes that the write-all loop
// understands.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "text/wide.h"
#include "usertext/system.h"
#include "usertext/system_native.h"

namespace {

constexpr uint32_t kReturnNumber = 0x20000000;
constexpr int kSlots = 8;
constexpr size_t kAnswerUnits = 64;

struct Answer {
  uint32_t type;
  bool present;
  bool is_number;
  uint32_t number;
  char16_t text[kAnswerUnits];
};

Answer g_answers[kSlots];
int g_queries = 0;

Answer* slot_for(uint32_t type, bool create) {
  for (Answer& answer : g_answers) {
    if (answer.type == type && (answer.present || create)) return &answer;
  }
  if (!create) return nullptr;
  for (Answer& answer : g_answers) {
    if (!answer.present) {
      answer.type = type;
      return &answer;
    }
  }
  return nullptr;
}

void forget_all() {
  for (Answer& answer : g_answers) {
    answer = Answer{};
  }
}

bool g_programmed = false;

void ensure_defaults() {
  if (g_programmed) return;
  g_programmed = true;
  usertext_stand_in_set_text(0x51, u"-");
  usertext_stand_in_set_number(0x1010, 1);
  usertext_stand_in_set_text(0x0F, u",");
  usertext_stand_in_set_text(0x10, u"3;0");
  usertext_stand_in_set_text(0x0E, u".");
  usertext_stand_in_set_text(0x1E, u":");
}

}  // namespace

void usertext_stand_in_reset() {
  forget_all();
  g_queries = 0;
  g_programmed = false;
  ensure_defaults();
}

void usertext_stand_in_fail_all() {
  g_programmed = true;
  forget_all();
}

void usertext_stand_in_set_text(uint32_t type, const char16_t* text) {
  g_programmed = true;
  Answer* answer = slot_for(type, true);
  if (answer == nullptr) return;
  answer->present = text != nullptr;
  answer->is_number = false;
  wide_copy_max(answer->text, kAnswerUnits, text);
}

void usertext_stand_in_set_number(uint32_t type, uint32_t value) {
  g_programmed = true;
  Answer* answer = slot_for(type, true);
  if (answer == nullptr) return;
  answer->present = true;
  answer->is_number = true;
  answer->number = value;
}

int usertext_stand_in_query_count() { return g_queries; }

int system_locale_info(uint32_t type, char16_t* buffer, int capacity) {
  ensure_defaults();
  ++g_queries;
  bool want_number = (type & kReturnNumber) != 0;
  const Answer* answer = slot_for(type & ~kReturnNumber, false);
  if (answer == nullptr || answer->is_number != want_number) return 0;
  if (want_number) {
    if (capacity < 2) return 0;
    memcpy(buffer, &answer->number, sizeof(answer->number));
    return 2;
  }
  size_t units = wide_length(answer->text) + 1;
  if (units > static_cast<size_t>(capacity)) return 0;
  wide_copy(buffer, answer->text);
  return static_cast<int>(units);
}

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
  // The stand-in's handles are the descriptors themselves.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  return reinterpret_cast<void*>(static_cast<intptr_t>(error_stream ? STDERR_FILENO : STDOUT_FILENO));
}
