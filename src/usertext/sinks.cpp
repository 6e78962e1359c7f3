#include "usertext/sinks.h"

#include "runtime/handles.h"
#include "text/checked_size.h"
#include "text/utf.h"
#include "text/wide.h"
#include "usertext/alloc_hook.h"
#include "usertext/system.h"

namespace {

// Console lines up to 197 bytes (plus CR LF and terminator) stay on the
// stack.
constexpr size_t kLineLocalBytes = 200;
constexpr size_t kCutLineBytes = 197;
constexpr size_t kWriteChunkBytes = size_t{16} * 1024 * 1024;

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorBrokenPipe = 109;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorNoData = 232;

// The reader went away or the medium is full: the output ends there, which
// is not an error of the writer.
bool ends_output_quietly(uint32_t error) {
  return error == kErrorHandleEof || error == kErrorHandleDiskFull || error == kErrorBrokenPipe ||
         error == kErrorDiskFull || error == kErrorNoData;
}

void stdout_write(MessageSink*, const char16_t* text, bool end_of_line) {
  WriteTextToHandle(system_standard_handle(false), text, end_of_line);
}
void stderr_write(MessageSink*, const char16_t* text, bool end_of_line) {
  WriteTextToHandle(system_standard_handle(true), text, end_of_line);
}
void null_write(MessageSink*, const char16_t*, bool) {}

const MessageSinkOps kStdoutOps = {stdout_write};
const MessageSinkOps kStderrOps = {stderr_write};
const MessageSinkOps kNullOps = {null_write};

MessageSink g_stdout_sink = {&kStdoutOps};
MessageSink g_stderr_sink = {&kStderrOps};
MessageSink g_null_sink = {&kNullOps};

}  // namespace

MessageSink* const StdoutSink = &g_stdout_sink;
MessageSink* const StderrSink = &g_stderr_sink;
MessageSink* const NullSink = &g_null_sink;

void write_text(void* handle, const char16_t* text, bool end_of_line, ByteWriter writer) {
  if (!is_handle(handle)) return;
  char local[kLineLocalBytes];
  char* bytes = local;
  char* heap = nullptr;
  size_t n = wide_to_ansi(local, kLineLocalBytes, text);
  if (n + 2 >= kLineLocalBytes) {
    size_t size;
    if (checked_add(n, 3, &size) && !usertext_allocation_refused(size)) heap = narrow_alloc(nullptr, size);
    if (heap != nullptr) {
      wide_to_ansi_unbounded(heap, text);
      bytes = heap;
    } else {
      // Cut after the last whole character that fits in 197 bytes: the
      // converter only ever writes whole characters, so a double-byte
      // character is never split.
      wide_to_ansi(local, kCutLineBytes + 1, text);
      n = narrow_length(local);
    }
  }
  if (end_of_line) {
    bytes[n] = '\r';
    bytes[n + 1] = '\n';
    n += 2;
  }
  // A sink reports nothing: output that cannot be written is dropped.
  (void)write_all(handle, bytes, n, nullptr, writer);
  narrow_free(heap);
}

void WriteTextToHandle(void* handle, const char16_t* text, bool end_of_line) {
  write_text(handle, text, end_of_line, system_write_bytes);
}

uint32_t write_all(void* handle, const char* bytes, size_t total, size_t* count, ByteWriter writer) {
  if (!is_handle(handle)) {
    if (count != nullptr) *count = 0;
    return kErrorInvalidHandle;
  }
  uint32_t result = 0;
  size_t remaining = total;
  while (remaining > 0) {
    uint32_t chunk = static_cast<uint32_t>(remaining < kWriteChunkBytes ? remaining : kWriteChunkBytes);
    uint32_t written = 0;
    uint32_t error = 0;
    if (writer(handle, bytes + (total - remaining), chunk, &written, &error)) {
      if (written > chunk) written = chunk;  // never trust a count beyond the request
      remaining -= written;
      if (written < chunk) break;  // a short write ends the output
      continue;
    }
    if (!ends_output_quietly(error) && remaining == total) result = error;
    break;
  }
  if (count != nullptr) *count = total - remaining;
  return result;
}
