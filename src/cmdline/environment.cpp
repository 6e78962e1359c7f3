#include "cmdline/environment.h"

#include <cstdint>
#include <cstdlib>

#include "cmdline/argument_block.h"
#include "cmdline/process_info_cache.h"
#include "cmdline/system.h"
#include "text/compare.h"
#include "text/wide.h"

char16_t** environment_copy(const char16_t* block) {
  if (!block) return nullptr;
  size_t count = 0;
  const char16_t* p = block;
  while (*p) {
    p += wide_length(p) + 1;
    ++count;
  }
  // Every unit of the block up to and including its final terminator.
  size_t units = static_cast<size_t>(p - block) + 1;
  char16_t* chars = nullptr;
  char16_t** array = allocate_argument_block(count, units, &chars);
  if (!array) return nullptr;
  wide_move(chars, block, units);
  for (size_t i = 0; i < count; ++i) {
    array[i] = chars;
    chars += wide_length(chars) + 1;
  }
  array[count] = nullptr;
  return array;
}

const char16_t* find_environment_variable(const char16_t* const* environment, const char16_t* name) {
  if (!environment || !name) return nullptr;
  size_t name_length = wide_length(name);
  for (const char16_t* const* e = environment; *e; ++e) {
    const char16_t* entry = *e;
    // The name ends at the first '='; the per-drive entries ("=C:=C:\x")
    // begin with one that belongs to the name.
    size_t length = entry[0] == u'=' ? 1 : 0;
    while (entry[length] && entry[length] != u'=') ++length;
    if (length != name_length) continue;
    if (compare_folded_n(entry, length, name, name_length) != 0) continue;
    return entry[length] ? entry + length + 1 : entry + length;
  }
  return nullptr;
}

char16_t* const* environment_block() {
  void* value = cache_get(kSlotEnvironment);
  if (value) return static_cast<char16_t* const*>(value);
  // The copy is made outside the lock; cache_store keeps the first one and
  // frees a copy that lost the race.
  char16_t* system_block = system_environment_strings();
  char16_t** copy = environment_copy(system_block);
  system_free_environment_strings(system_block);
  return static_cast<char16_t* const*>(cache_store(kSlotEnvironment, copy));
}

const char16_t* get_environment_variable(const char16_t* name) {
  return find_environment_variable(environment_block(), name);
}
