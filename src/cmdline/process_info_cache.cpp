#include "cmdline/process_info_cache.h"

#include <atomic>
#include <cstdlib>

#include "runtime/at_exit.h"
#include "runtime/process_lock.h"

namespace {

char16_t* const kEmptyEnvironment[1] = {nullptr};

struct Slot {
  // Read without the lock by getters; written once under it (and by the
  // at-exit reset).
  std::atomic<void*> value;
  void* owned;  // the malloc block to free at exit, or null for a default
};

Slot g_slots[kProcessInfoSlotCount];
bool g_reset_registered = false;  // guarded by the process lock

void* default_of(ProcessInfoSlot slot) {
  switch (slot) {
    case kSlotEnvironment: return const_cast<char16_t**>(kEmptyEnvironment);
    case kSlotModuleFileName: return const_cast<char16_t*>(u"\\_");
    case kSlotProgramDirectory: return const_cast<char16_t*>(u"\\");
    case kSlotUserName: return const_cast<char16_t*>(u"?");
    default: return nullptr;
  }
}

bool valid(ProcessInfoSlot slot) { return slot >= 0 && slot < kProcessInfoSlotCount; }

}  // namespace

void* cache_get(ProcessInfoSlot slot) {
  if (!valid(slot)) return nullptr;
  return g_slots[slot].value.load(std::memory_order_acquire);
}

void* cache_store(ProcessInfoSlot slot, void* value) {
  if (!valid(slot)) {
    free(value);
    return nullptr;
  }
  Slot& s = g_slots[slot];
  void* lost = nullptr;
  bool register_reset = false;
  AcquireProcessLock();
  if (!s.value.load(std::memory_order_relaxed)) {
    s.owned = value;
    s.value.store(value ? value : default_of(slot), std::memory_order_release);
  } else {
    lost = value;
  }
  if (!g_reset_registered) {
    g_reset_registered = true;
    register_reset = true;
  }
  void* result = s.value.load(std::memory_order_relaxed);
  ReleaseProcessLock();
  // A value computed in vain is released outside the lock, and the reset is
  // registered by the one caller that set the flag.
  free(lost);
  // Refused, the reset never runs: the copies live until the process ends.
  if (register_reset) (void)at_exit_register(cache_reset);
  return result;
}

bool cache_is_default(ProcessInfoSlot slot) {
  if (!valid(slot)) return false;
  return g_slots[slot].value.load(std::memory_order_acquire) == default_of(slot);
}

int cache_reset() {
  AcquireProcessLock();
  for (int i = 0; i < kProcessInfoSlotCount; ++i) {
    Slot& s = g_slots[i];
    s.value.store(default_of(static_cast<ProcessInfoSlot>(i)), std::memory_order_release);
    free(s.owned);
    s.owned = nullptr;
  }
  ReleaseProcessLock();
  return 0;
}
