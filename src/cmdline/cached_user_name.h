// The user name's copy in the process info cache. Windows only.
#pragma once

// The start-up step: stores a copy of QueryUserName's answer in the cache's
// user-name slot (its default "?" when no memory is left). A slot that is
// already filled keeps its value.
void init_cached_user_name();
