// The shape shared by every reference-counted object: its first field is its
// table of operations, whose slot 0 is AddRef and slot 1 Release; its second
// field is a plain (non-atomic) 32-bit count that is 1 after creation. Such
// an object is used by one thread at a time.
#pragma once

#include <cstdint>

struct RefCounted {
  const void* ops;
  int32_t count;
};

// The one AddRef routine that every RefCounted object's table holds in
// slot 0: adds 1 to the count.
void refcounted_add_ref(void* object);
