// Operations on one StringMap decoded from the input, each applied to the map
// and to a std::map with the same key order; the results of every operation
// are compared, and the whole tree is checked (red-black rules, parent links,
// order, stored letter case, the cursor) and compared with the model at
// regular steps and at the end. Any difference aborts.
//
// Input: a sequence of operations. Each starts with an operation byte and a
// key byte; the key byte's value modulo 5 gives the key's length in symbols,
// one byte each follows. Symbols are few and mix letter case, '_', '[' and
// non-ASCII units so that equal keys in different case meet often.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/runtime/string_map_checks.h"

namespace {

const char16_t* const kSymbols[] = {u"a", u"A", u"b",      u"B",      u"z",         u"Z",
                                    u"_", u"[", u"\u00E9", u"\u00C9", u"\U0001F600"};
const size_t kSymbolCount = sizeof kSymbols / sizeof kSymbols[0];

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool more() const { return pos < size; }
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  std::u16string key() {
    std::u16string out;
    int length = byte() % 5;
    for (int i = 0; i < length; ++i) out += kSymbols[byte() % kSymbolCount];
    return out;
  }
};

void check(const std::string& fault, size_t step, const char* what) {
  if (fault.empty()) return;
  fprintf(stderr, "step %zu (%s): %s\n", step, what, fault.c_str());
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size, 0};
  StringMapModel model;
  if (!model.map()) return 0;
  uint32_t serial = 0;
  for (size_t step = 0; in.more() && step < 8192; ++step) {
    uint8_t op = in.byte();
    std::u16string key = in.key();
    const char* what = "";
    std::string fault;
    switch (op % 16) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
        what = "Set";
        fault =
            model.set(key, std::u16string(1, char16_t(u'0' + serial++ % 40)), (op & 0x10) != 0, (op & 0xE0) == 0xE0);
        break;
      case 6:
      case 7:
      case 8:
        what = "Remove";
        fault = model.remove(key);
        break;
      case 9:
      case 10:
        what = "Get";
        fault = model.get(key);
        break;
      case 11:
        what = "First";
        fault = model.first();
        break;
      case 12:
      case 13:
      case 14:
        what = "Next";
        fault = model.next();
        break;
      default:
        if (op >= 0xF0) {
          what = "Clear";
          fault = model.clear();
        } else {
          what = "Set from stored text";
          fault = model.set_from_stored(key, in.key());
        }
        break;
    }
    check(fault, step, what);
    // The whole tree after every early step, then every 16th step (a broken
    // rule stays visible until the next full check, and the per-operation
    // comparisons above run every time) to keep long inputs fast.
    if (step < 32 || step % 16 == 0) check(model.check_all(), step, what);
  }
  check(model.check_all(), size_t(-1), "end");
  return 0;
}
