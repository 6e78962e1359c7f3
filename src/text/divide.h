// Division of a 64-bit value by a small divisor. On 32-bit targets the
// compiler turns every 64-bit division into a call to its runtime library
// (several hundred bytes each for signed, unsigned, quotient and
// remainder); digits and calendar fields only ever divide by small numbers,
// which three 32-bit divisions do.
#pragma once

#include <cstdint>

// *value becomes *value / divisor; returns the remainder. `divisor` must be
// between 1 and 65535.
inline uint32_t divide_small(uint64_t* value, uint32_t divisor) {
#if UINTPTR_MAX > 0xFFFFFFFFU
  uint32_t remainder = uint32_t(*value % divisor);
  *value /= divisor;
  return remainder;
#else
  uint32_t high = uint32_t(*value >> 32);
  uint32_t low = uint32_t(*value);
  uint32_t quotient_high = high / divisor;
  uint32_t rest = high % divisor;
  // rest < divisor < 2^16, so each step below fits 32 bits.
  uint32_t middle = (rest << 16) | (low >> 16);
  uint32_t quotient_middle = middle / divisor;
  rest = middle % divisor;
  uint32_t bottom = (rest << 16) | (low & 0xFFFFU);
  uint32_t quotient_low = bottom / divisor;
  *value = (uint64_t(quotient_high) << 32) | (uint64_t(quotient_middle) << 16) | quotient_low;
  return bottom % divisor;
#endif
}
