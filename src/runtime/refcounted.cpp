#include "runtime/refcounted.h"

void refcounted_add_ref(void* object) { ++static_cast<RefCounted*>(object)->count; }
