// Splitting text into lines for a sink. Apart from the standard sinks so
// that a program whose texts never reach a handle does not carry the code
// that writes them.
#include "text/wide.h"
#include "usertext/alloc_hook.h"
#include "usertext/sinks.h"

void WriteLines(MessageSink* sink, const char16_t* text) {
  if (sink == nullptr) return;
  if (text == nullptr || *text == 0) {
    sink->ops->write(sink, u"", false);
    return;
  }
  const char16_t* line = text;
  const char16_t* p = text;
  for (; *p != 0; ++p) {
    if (*p != u'\n') continue;
    size_t count = static_cast<size_t>(p - line);
    char16_t* copy = nullptr;
    if (!usertext_allocation_refused((count + 1) * sizeof(char16_t))) copy = wide_dup_n(line, count);
    if (copy != nullptr && count > 0 && copy[count - 1] == u'\r') copy[count - 1] = 0;
    // A line that could not be copied is written empty.
    sink->ops->write(sink, copy != nullptr ? copy : u"", true);
    wide_free(copy);
    line = p + 1;
  }
  if (*line != 0) sink->ops->write(sink, line, false);
}
