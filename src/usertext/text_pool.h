// TextPool: a caller-owned chain of text blocks. Start with a null pool,
// pass its address to every call that returns text, end with
// text_pool_free. Texts returned are read-only, never null, and valid until
// the pool is freed.
#pragma once

#include <cstddef>

struct TextBlock;
using TextPool = TextBlock*;

// The static text handed out whenever memory for a result is lacking.
extern const char16_t kUsertextError[];

// Copies `n` units into a new block; n = 0 gives the static "" and adds no
// block; no memory gives kUsertextError and leaves the pool unchanged.
const char16_t* text_pool_copy(TextPool* pool, const char16_t* units, size_t n);
// Formats (see text/format.h) into a new block, the same way.
const char16_t* text_pool_printf(TextPool* pool, const char16_t* format, ...);
// Frees every block; the pool is empty afterwards and may be reused.
void text_pool_free(TextPool* pool);
// A new block for n units plus terminator, not yet in the pool; null when
// memory is lacking. text_pool_push puts it at the pool's head.
[[nodiscard]] char16_t* text_pool_block(size_t n);
void text_pool_push(TextPool* pool, char16_t* block_text);
