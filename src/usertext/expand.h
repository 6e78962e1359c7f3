// Expanding usertexts: %1..%9 take the caller's arguments, %(key) another
// usertext (nested up to five levels), '%' before any other unit yields that
// unit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "usertext/text_pool.h"

struct UsertextCatalog;

// Writes the expansion of `key` into `out` as far as `capacity` allows
// (always terminated when capacity > 0) and returns its full length.
// `depth` is shared by nested expansions of one call. `whole_out` (may be
// null) receives the unchanged text when no '%' was met, "" for an empty
// result, else null.
size_t usertext_expand(UsertextCatalog* catalog, int32_t* depth, char16_t* out, size_t capacity,
                       const char16_t** whole_out, const char16_t* key, int32_t argc, const char16_t* const* argv);

// The expanded text of `key`; never null ("usertext_error" when memory or
// the catalog is lacking).
const char16_t* usertext_format(TextPool* pool, const char16_t* key, int32_t argc, const char16_t* const* argv);
const char16_t* usertext_get(TextPool* pool, const char16_t* key);
const char16_t* usertext_format2(TextPool* pool, const char16_t* key, const char16_t* arg1, const char16_t* arg2);
