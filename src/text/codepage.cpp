// Conversion of wide text to a code page, one character at a time through
// the system. Kept apart from the UTF-8/UTF-16 stepping so that programs
// which never write code-page text do not carry the system's conversion
// calls.
#include "text/checked_size.h"
#include "text/utf.h"

#include <atomic>

#include "text/system.h"
#include "text/wide.h"

namespace {

constexpr uint32_t kCodePageAnsi = 0;        // CP_ACP
constexpr uint32_t kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS
constexpr char kUnmappableByte = 0x7F;

// How one character reaches the code page; chosen once per conversion.
enum class EncodeMode {
  kNoBestFit,  // the system refuses best-fit substitutes when asked
  kRoundTrip,  // no such flag: accept a result only when it decodes back
  kUtf8,       // UTF-8 takes neither flags nor default-character arguments
};

// Process-wide answer for the ANSI page: 0 not yet asked, 1 flag accepted,
// 2 refused. Two threads that both find it unset both probe, which is
// harmless: they store the same answer.
std::atomic<int> ansi_flag_answer{0};

bool probe_no_best_fit(uint32_t code_page) {
  char out[6];
  return system_encode_unit(code_page, kNoBestFitChars, u'A', out, nullptr) > 0;
}

bool accepts_no_best_fit(uint32_t code_page, uint32_t ansi_page) {
  if (code_page != ansi_page) return probe_no_best_fit(code_page);
  int answer = ansi_flag_answer.load(std::memory_order_acquire);
  if (answer == 0) {
    answer = probe_no_best_fit(code_page) ? 1 : 2;
    ansi_flag_answer.exchange(answer, std::memory_order_acq_rel);
  }
  return answer == 1;
}

// Whether all `count` bytes decode to exactly `unit`.
bool decodes_back(uint32_t code_page, const char* bytes, int count, char16_t unit) {
  char16_t back = 0;
  return system_decode(code_page, bytes, count, &back) == 1 && back == unit;
}

// Bytes for one code point in `out`; unmappable characters, characters
// beyond the BMP and invalid input become the single byte 0x7F.
int encode_code_point(uint32_t code_page, EncodeMode mode, uint32_t code_point, char out[6]) {
  int n = 0;
  if (code_point <= 0xFFFF) {
    char16_t unit = char16_t(code_point);
    bool used_default = false;
    switch (mode) {
      case EncodeMode::kNoBestFit:
        n = system_encode_unit(code_page, kNoBestFitChars, unit, out, &used_default);
        if (used_default) n = 0;
        break;
      case EncodeMode::kRoundTrip:
        n = system_encode_unit(code_page, 0, unit, out, &used_default);
        if (used_default) n = 0;
        // A best-fit substitute (say 'A' for U+0100) does not decode back.
        // All produced bytes are decoded, so double-byte characters survive.
        if (n > 0 && !(n == 1 && uint8_t(out[0]) == code_point) && !decodes_back(code_page, out, n, unit)) n = 0;
        break;
      case EncodeMode::kUtf8:
        n = system_encode_unit(code_page, 0, unit, out, nullptr);
        if (n > 0 && !decodes_back(code_page, out, n, unit)) n = 0;
        break;
    }
  }
  if (n <= 0 || n > 6) {
    out[0] = kUnmappableByte;
    return 1;
  }
  if (out[n - 1] == 0) --n;  // a produced terminator is not text
  return n;
}

}  // namespace

size_t wide_to_codepage(uint32_t code_page, char* dest, size_t capacity, const char16_t* source, size_t source_length) {
  if (!dest) capacity = 0;
  if (!source) source_length = 0;
  uint32_t ansi_page = system_ansi_code_page();
  if (code_page == kCodePageAnsi) code_page = ansi_page;
  EncodeMode mode = codepage_is_utf8(code_page)                 ? EncodeMode::kUtf8
                    : accepts_no_best_fit(code_page, ansi_page) ? EncodeMode::kNoBestFit
                                                                : EncodeMode::kRoundTrip;
  size_t in = 0, total = 0, copied = 0;
  for (;;) {
    uint32_t code_point = utf16_next(source, source_length, &in);
    if (code_point == 0) break;
    char bytes[6];
    int n = encode_code_point(code_page, mode, code_point, bytes);
    total = saturating_add(total, size_t(n));
    // Whole characters only, with room for the terminator: once one does
    // not fit, no later one is copied either (the total only grows).
    if (total < capacity) {
      for (int i = 0; i < n; ++i) dest[copied + size_t(i)] = bytes[i];
      copied = total;
    }
  }
  if (capacity != 0) dest[copied] = 0;
  return total;
}

size_t wide_to_ansi(char* dest, size_t capacity, const char16_t* source) {
  return wide_to_codepage(kCodePageAnsi, dest, capacity, source, kNoLimit);
}

size_t wide_to_ansi_unbounded(char* dest, const char16_t* source) { return wide_to_ansi(dest, kNoLimit, source); }
