// Command lines and paths from arbitrary 16-bit units.
//  - Splitting any text gives a well-formed block.
//  - Joining the split vector (quotes in element 0 removed, which no
//    command line can carry) and splitting again gives the vector back.
//  - normalize_path and resolve_path write only inside a destination of
//    exactly the capacity they are given (a heap block, so the sanitizer
//    sees any overrun) and succeed only with a terminated result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cmdline/path.h"
#include "cmdline/quote.h"
#include "cmdline/split.h"
#include "text/wide.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

void split_and_round_trip(const char16_t* text) {
  int32_t count = 0;
  char16_t** argv = split_command_line_portable(nullptr, text, &count);
  check(argv != nullptr);
  check(count >= 1 && argv[count] == nullptr);
  for (int32_t i = 0; i < count; ++i) check(argv[i] != nullptr);
  for (char16_t* p = argv[0]; *p; ++p) {
    if (*p == u'"') *p = u'\'';
  }
  char16_t* line = join_command_line(argv);
  check(line != nullptr);
  int32_t again_count = 0;
  char16_t** again = split_command_line_portable(nullptr, line, &again_count);
  check(again != nullptr && again_count == count);
  for (int32_t i = 0; i < count; ++i) {
    size_t n = wide_length(argv[i]);
    check(wide_length(again[i]) == n && memcmp(again[i], argv[i], n * sizeof(char16_t)) == 0);
  }
  free(again);
  wide_free(line);
  free(argv);
}

void paths(const char16_t* text, size_t capacity) {
  // The text holds a base and a path separated by the first '|'.
  size_t length = wide_length(text);
  char16_t* copy = static_cast<char16_t*>(malloc((length + 1) * sizeof(char16_t)));
  memcpy(copy, text, (length + 1) * sizeof(char16_t));
  char16_t* path = copy;
  char16_t* base = nullptr;
  for (char16_t* p = copy; *p; ++p) {
    if (*p == u'|') {
      *p = 0;
      base = copy;
      path = p + 1;
      break;
    }
  }
  char16_t* dest = static_cast<char16_t*>(malloc((capacity ? capacity : 1) * sizeof(char16_t)));
  if (normalize_path(path, dest, capacity)) check(wide_length_max(dest, capacity) < capacity);
  if (resolve_path(base, path, dest, capacity)) check(wide_length_max(dest, capacity) < capacity);
  free(dest);
  // In place: the path's own block, whatever capacity it claims up to its
  // real size.
  size_t own = length + 1 - static_cast<size_t>(path - copy);
  size_t in_place = capacity < own ? capacity : own;
  if (normalize_path(path, path, in_place)) check(wide_length_max(path, in_place) < in_place);
  free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t mode = data[0];
  ++data;
  --size;
  size_t units = size / 2;
  char16_t* text = static_cast<char16_t*>(malloc((units + 1) * sizeof(char16_t)));
  for (size_t i = 0; i < units; ++i) {
    char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    text[i] = c ? c : u' ';
  }
  text[units] = 0;
  if (mode & 1) {
    paths(text, mode >> 1);
  } else {
    split_and_round_trip(text);
  }
  free(text);
  return 0;
}
