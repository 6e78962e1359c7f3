#include "cmdline/argument_block.h"

#include <cstdint>
#include <cstdlib>

#include "text/checked_size.h"

char16_t** allocate_argument_block(size_t count, size_t units, char16_t** chars) {
  size_t pointers, pointer_bytes, bytes;
  if (count > INT32_MAX || !checked_add(count, 1, &pointers) ||
      !checked_multiply(pointers, sizeof(char16_t*), &pointer_bytes) ||
      !checked_unit_bytes(units, pointer_bytes, &bytes)) {
    return nullptr;
  }
  char16_t** block = static_cast<char16_t**>(malloc(bytes));
  if (!block) return nullptr;
  *chars = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(block) + pointer_bytes);
  return block;
}
