// The process environment, copied once and kept until exit, with lookups
// that ignore case under Unicode simple case folding.
#pragma once

// Null-terminated array of "name=value" entries in the system's order; never
// null (an empty array when the environment could not be read). Owned by the
// process info cache.
char16_t* const* environment_block();

// Pointer to the value inside the environment copy (valid until exit), the
// empty string for an entry without '=', or null when absent.
const char16_t* get_environment_variable(const char16_t* name);

// The pieces, for any array: a new environment array copied from a system
// block of "name=value" strings ended by an empty one (one malloc block:
// n + 1 pointers, then the characters), null for a null block or when
// memory is lacking; and the lookup that get_environment_variable does.
[[nodiscard]] char16_t** environment_copy(const char16_t* block);
const char16_t* find_environment_variable(const char16_t* const* environment, const char16_t* name);
