// atexit takes void(*)(), the cleanups return int: each registration gets
// its own trampoline, so the cleanups interleave with every other atexit
// user (static destructors included) in exact reverse order.
#include <cstdlib>

#include "runtime/at_exit.h"

namespace {

constexpr int kSlots = 32;
AtExitCleanup g_cleanups[kSlots];
int g_used = 0;

template <int K>
void run_slot() {
  g_cleanups[K]();
}

template <int... K>
struct Trampolines {
  static constexpr void (*table[sizeof...(K)])() = {&run_slot<K>...};
};

template <int N, int... K>
struct MakeTrampolines : MakeTrampolines<N - 1, N - 1, K...> {};
template <int... K>
struct MakeTrampolines<0, K...> {
  using type = Trampolines<K...>;
};

using Table = MakeTrampolines<kSlots>::type;

}  // namespace

int at_exit_register(AtExitCleanup cleanup) {
  if (!cleanup || g_used == kSlots) return -1;
  int slot = g_used;
  g_cleanups[slot] = cleanup;
  if (atexit(Table::table[slot]) != 0) return -1;
  ++g_used;
  return 0;
}
