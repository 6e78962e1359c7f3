#include "usertext/text_pool.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>

#include "text/checked_size.h"
#include "text/format.h"
#include "text/wide.h"
#include "usertext/alloc_hook.h"

// A block is one allocation: the link to the next block, then the text and
// its terminator. The text starts right after the link, which keeps it
// aligned for char16_t.
struct TextBlock {
  TextBlock* next;
};

const char16_t kUsertextError[] = u"usertext_error";

namespace {

constexpr size_t kPrintfLocalUnits = 100;

TextBlock* block_of(char16_t* text) {
  return reinterpret_cast<TextBlock*>(reinterpret_cast<char*>(text) - sizeof(TextBlock));
}

}  // namespace

char16_t* text_pool_block(size_t n) {
  // The link, then the text and its terminator.
  size_t units, bytes;
  if (!checked_add(n, 1, &units) || !checked_unit_bytes(units, sizeof(TextBlock), &bytes) ||
      usertext_allocation_refused(bytes)) {
    return nullptr;
  }
  TextBlock* block = static_cast<TextBlock*>(malloc(bytes));
  if (block == nullptr) return nullptr;
  block->next = nullptr;
  char16_t* text = reinterpret_cast<char16_t*>(block + 1);
  text[0] = 0;
  return text;
}

void text_pool_push(TextPool* pool, char16_t* block_text) {
  TextBlock* block = block_of(block_text);
  block->next = *pool;
  *pool = block;
}

const char16_t* text_pool_copy(TextPool* pool, const char16_t* units, size_t n) {
  if (n == 0) return u"";
  char16_t* text = text_pool_block(n);
  if (text == nullptr) return kUsertextError;
  wide_move(text, units, n);
  text[n] = 0;
  text_pool_push(pool, text);
  return text;
}

const char16_t* text_pool_printf(TextPool* pool, const char16_t* format, ...) {
  char16_t local[kPrintfLocalUnits];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  size_t n = text_vformat(local, kPrintfLocalUnits, format, args);
  va_end(args);

  const char16_t* result;
  if (n == 0) {
    result = u"";
  } else {
    char16_t* text = text_pool_block(n);
    if (text == nullptr) {
      result = kUsertextError;
    } else {
      if (n < kPrintfLocalUnits) {
        wide_move(text, local, n + 1);
      } else {
        text_vformat(text, n + 1, format, again);
      }
      text_pool_push(pool, text);
      result = text;
    }
  }
  va_end(again);
  return result;
}

void text_pool_free(TextPool* pool) {
  TextBlock* block = *pool;
  *pool = nullptr;
  while (block != nullptr) {
    TextBlock* next = block->next;
    free(block);
    block = next;
  }
}
