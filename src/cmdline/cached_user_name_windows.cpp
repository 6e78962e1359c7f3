#include "cmdline/cached_user_name.h"

#include "cmdline/process_info_cache.h"
#include "runtime/user_name.h"
#include "text/wide.h"

void init_cached_user_name() {
  char16_t name[kUserNameCapacity];
  QueryUserName(name, kUserNameCapacity);
  // A failed copy is null, which gives the slot its default.
  cache_store(kSlotUserName, wide_dup(name));
}
