// Allocation refusal for tests. Every allocation this subsystem makes asks
// usertext_allocation_refused first, so that tests can reach the paths where
// memory is lacking (fallback texts, truncated lines). The deliverables
// carry the question (a test of one pointer per allocation) but never
// install a hook; without one nothing is refused.
#pragma once

#include <cstddef>

// Answers true to refuse an allocation of `bytes`.
using UsertextAllocationHook = bool (*)(size_t bytes);

// Installs `hook` (null removes it) and returns the previous one.
UsertextAllocationHook usertext_set_allocation_hook_for_testing(UsertextAllocationHook hook);
// True when the installed hook refuses an allocation of `bytes`.
bool usertext_allocation_refused(size_t bytes);
