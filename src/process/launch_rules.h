// The pure rules of process launch, kept apart from the Win32 calls so they
// are tested natively: the sorted environment block and the user split.
#pragma once

#include <cstddef>

// Environment block for CreateProcessW: the non-empty entries sorted by name
// (the name with its ending '=', ASCII case-insensitively; equal entries keep
// their order) and written one after another, each terminated, plus a final
// terminator. Null when memory is lacking. Caller frees with free().
[[nodiscard]] char16_t* build_environment_block(const char16_t* const* environment);

// The order of two entries as the block uses it: < 0, 0 or > 0.
int compare_environment_entries(const char16_t* a, const char16_t* b);

// Splits "domain\user", "domain/user", "user@domain" or a bare user (domain
// from `default_domain`, which may be null for empty). Both results are new
// strings (wide_free); false, with both null, when memory is lacking.
[[nodiscard]] bool split_user(const char16_t* text, const char16_t* default_domain, char16_t** user, char16_t** domain);

// True when `text` names its domain ('\\', '/' or '@' in it), so that
// split_user does not use the default domain. A null text names none.
bool user_names_domain(const char16_t* text);
