#include "usertext/alloc_hook.h"

namespace {
UsertextAllocationHook g_hook = nullptr;
}

UsertextAllocationHook usertext_set_allocation_hook_for_testing(UsertextAllocationHook hook) {
  UsertextAllocationHook previous = g_hook;
  g_hook = hook;
  return previous;
}

bool usertext_allocation_refused(size_t bytes) { return g_hook != nullptr && g_hook(bytes); }
