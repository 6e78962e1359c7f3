// Shared pieces of the usertext tests: a clean catalog per test, a sink that
// records what it is given, and allocation refusal.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "runtime/string_map.h"
#include "support/test_support.h"
#include "usertext/alloc_hook.h"
#include "usertext/catalog.h"
#include "usertext/sinks.h"
#include "usertext/system.h"
#include "usertext/text_pool.h"

namespace usertext_test {

inline std::u16string S(const char16_t* p) { return p ? std::u16string(p) : std::u16string(); }

// Allocation refusal: every request is recorded; those of at least
// `refuse_from` bytes are refused.
inline size_t refuse_from = static_cast<size_t>(-1);
inline std::vector<size_t> requests;

inline bool refusing_hook(size_t bytes) {
  requests.push_back(bytes);
  return bytes >= refuse_from;
}

// Installs the recording hook for the lifetime of the object.
struct AllocationGuard {
  explicit AllocationGuard(size_t refuse_at = static_cast<size_t>(-1)) {
    refuse_from = refuse_at;
    requests.clear();
    usertext_set_allocation_hook_for_testing(refusing_hook);
  }
  ~AllocationGuard() {
    usertext_set_allocation_hook_for_testing(nullptr);
    refuse_from = static_cast<size_t>(-1);
  }
};

struct SinkCall {
  std::u16string text;
  bool end_of_line;
  const char16_t* pointer;
  bool operator==(const SinkCall& other) const { return text == other.text && end_of_line == other.end_of_line; }
};

struct RecordingSink {
  MessageSink base;
  std::vector<SinkCall> calls;
};

inline void recording_write(MessageSink* self, const char16_t* text, bool end_of_line) {
  // `base` is the first member, so the sink's address is the recorder's.
  reinterpret_cast<RecordingSink*>(self)->calls.push_back({S(text), end_of_line, text});
}

inline const MessageSinkOps kRecordingOps = {recording_write};

inline void PrintTo(const SinkCall& call, std::ostream* os) {
  *os << "{\"" << escaped(call.text) << "\", " << (call.end_of_line ? "line end" : "no line end") << "}";
}

// A test with an existing, empty catalog whose test mode is off (whatever
// the environment of the test run says) and an empty pool.
class UsertextFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    catalog = EnsureUsertextCatalog();
    ASSERT_NE(catalog, nullptr);
    catalog->textMap->ops->Clear(catalog->textMap);
    catalog->testMode = 0;
  }
  void TearDown() override {
    text_pool_free(&pool);
    if (UsertextCatalog* current = usertext_catalog_for_testing()) {
      current->textMap->ops->Clear(current->textMap);
      current->testMode = 0;
    }
  }
  size_t pool_blocks() const {
    size_t n = 0;
    for (TextBlock* block = pool; block != nullptr; block = *reinterpret_cast<TextBlock**>(block)) ++n;
    return n;
  }

  UsertextCatalog* catalog = nullptr;
  TextPool pool = nullptr;
};

}  // namespace usertext_test
