// The process-wide table of set-once facts: each slot is filled at most once
// (under the process lock) and keeps its value until the at-exit reset.
#pragma once

enum ProcessInfoSlot {
  kSlotEnvironment = 0,   // char16_t** environment array; default: empty array
  kSlotModuleFileName,    // char16_t*; default "\_"
  kSlotProgramDirectory,  // char16_t*; default "\"
  kSlotUserName,          // char16_t*; default "?"
  kProcessInfoSlotCount
};

// The slot's value, null while the slot is empty. Readers of a filled slot
// need no lock: it never changes before exit.
void* cache_get(ProcessInfoSlot slot);
// Fills an empty slot: a non-null value becomes the slot's owned value (it
// must come from malloc); null gives the slot its default. When another
// thread filled the slot first, `value` is freed. Registers the at-exit
// reset once. Returns the slot's value afterwards.
void* cache_store(ProcessInfoSlot slot, void* value);
// True when the slot holds its default rather than a stored value.
bool cache_is_default(ProcessInfoSlot slot);
// The at-exit reset: every slot back to its default, owned copies freed.
int cache_reset();
