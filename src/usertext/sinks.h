// Text sinks: line-oriented output of wide text to standard output,
// standard error, or nowhere. The standard sinks write the ANSI code page
// with CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>

struct MessageSink;

struct MessageSinkOps {
  // `text` may be null (empty); `end_of_line` says a line ends after it.
  void (*write)(MessageSink* self, const char16_t* text, bool end_of_line);
};

struct MessageSink {
  const MessageSinkOps* ops;
};

extern MessageSink* const StdoutSink;
extern MessageSink* const StderrSink;
extern MessageSink* const NullSink;

// Splits `text` at line feeds (a CR before the LF is dropped) and hands the
// lines to `sink`; null sink: nothing.
void WriteLines(MessageSink* sink, const char16_t* text);

// One write as the system makes it (WriteFile): true on success with
// *written set; on failure false and *error set.
using ByteWriter = bool (*)(void* handle, const char* bytes, uint32_t count, uint32_t* written, uint32_t* error);

// Writes `text` in the ANSI code page, with CR LF when `end_of_line`. Write
// errors are ignored; a handle that is null or all bits set writes nothing.
// Lines up to 197 converted bytes need no heap; a longer line without heap
// room is cut after its last whole character within 197 bytes.
void WriteTextToHandle(void* handle, const char16_t* text, bool end_of_line);
// The same through `writer` (WriteTextToHandle passes system_write_bytes,
// usertext/system.h).
void write_text(void* handle, const char16_t* text, bool end_of_line, ByteWriter writer);

// Writes all `total` bytes in chunks of at most 16 MiB. Returns 0 on success
// (a short write, a broken pipe, end of file or a full disk end the loop
// early as success) or the error of a first write that wrote nothing; 6 for
// a handle that is null or all bits set. `count` (may be null) receives the
// bytes written.
[[nodiscard]] uint32_t write_all(void* handle, const char* bytes, size_t total, size_t* count, ByteWriter writer);
