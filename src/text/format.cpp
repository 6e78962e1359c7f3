#include "text/format.h"

#include <cstdint>

#include "text/checked_size.h"
#include "text/compare.h"
#include "text/divide.h"
#include "text/utf.h"
#include "text/wide.h"

namespace {

// Width and precision digits saturate instead of wrapping.
size_t append_digit(size_t value, char16_t digit) {
  size_t tens;
  return checked_multiply(value, 10, &tens) ? saturating_add(tens, size_t(digit - u'0')) : kNoLimit;
}

// The output and the running count, which saturates at kNoLimit (so a
// result of kNoLimit means "too long to say").
struct Output {
  char16_t* out;
  size_t capacity;
  size_t count;
};

void put(Output* o, uint32_t code_point) { utf16_put(o->out, o->capacity, &o->count, code_point); }

// `n` copies of one BMP unit: the same as n puts, without n steps where
// they land beyond the capacity (widths can be huge).
void put_repeated(Output* o, char16_t unit, size_t n) {
  if (o->count < o->capacity) {
    size_t room = o->capacity - o->count;
    size_t stored = n < room ? n : room;
    for (size_t i = 0; i < stored; ++i) o->out[o->count + i] = unit;
  }
  o->count = saturating_add(o->count, n);
}

struct Spec {
  bool space;
  bool alternate;
  bool plus;
  bool left;
  bool zero;
  size_t width;  // 0: none
  bool has_precision;
  size_t precision;
  int integer_size;     // 0: not given; else 8, 16, 32 or 64
  int character_width;  // 0: not given; else 8, 16 or 32
};

enum class TextKind { kWide, kNarrow };

// A string field: the first min(length, precision) units, filled with blanks
// to the width. Null reads as empty. Units past the precision are never read.
void put_text_field(Output* o, const Spec& s, TextKind kind, const void* text) {
  size_t limit = s.has_precision ? s.precision : kNoLimit;
  size_t length = 0;
  if (kind == TextKind::kWide) {
    length = wide_length_max(static_cast<const char16_t*>(text), limit);
  } else if (text) {
    const char* bytes = static_cast<const char*>(text);
    while (length < limit && bytes[length]) ++length;
  }
  size_t fill = s.width > length ? s.width - length : 0;
  if (!s.left) put_repeated(o, u' ', fill);
  if (kind == TextKind::kWide) {
    const char16_t* units = static_cast<const char16_t*>(text);
    // The first `length` units are the measured text itself, terminator not
    // reached (the analysis does not follow wide_length_max).
    // NOLINTNEXTLINE(clang-analyzer-core.CallAndMessage)
    for (size_t i = 0; i < length; ++i) put(o, units[i]);
  } else {
    const uint8_t* bytes = static_cast<const uint8_t*>(text);
    // Bytes are widened one by one: beyond ASCII there is no way to know
    // their encoding, so they are marked as unknown.
    for (size_t i = 0; i < length; ++i) put(o, bytes[i] < 0x80 ? bytes[i] : 0xFFFF);
  }
  if (s.left) put_repeated(o, u' ', fill);
}

const char kDigitsLower[] = "0123456789abcdef0x";
const char kDigitsUpper[] = "0123456789ABCDEF0X";

void put_integer(Output* o, const Spec& s, uint64_t magnitude, bool negative, bool is_signed, unsigned base,
                 bool upper) {
  const char* table = upper ? kDigitsUpper : kDigitsLower;
  char16_t digits[24];  // 22 octal digits of 2^64 - 1 at most
  size_t digit_count = 0;
  do {
    digits[digit_count++] = char16_t(table[divide_small(&magnitude, base)]);
  } while (magnitude != 0);

  char16_t sign = 0;
  if (is_signed) {
    if (negative)
      sign = u'-';
    else if (s.plus)
      sign = u'+';
    else if (s.space)
      sign = u' ';
  }
  char16_t prefix[2];
  size_t prefix_length = 0;
  if (s.alternate && base == 8) {
    prefix[prefix_length++] = u'0';
  } else if (s.alternate && base == 16) {
    prefix[prefix_length++] = char16_t(table[16]);
    prefix[prefix_length++] = char16_t(table[17]);
  }

  size_t precision = s.has_precision ? s.precision : 0;
  size_t zeros = precision > digit_count ? precision - digit_count : 0;
  size_t body = precision > digit_count ? precision : digit_count;
  body = saturating_add(body, (sign ? 1 : 0) + prefix_length);
  size_t fill = s.width > body ? s.width - body : 0;
  // The zero flag fills with zeros up to the width, and then no blanks are
  // left for the left flag. With a precision the zero flag is ignored.
  if (s.zero && !s.has_precision) {
    zeros = fill;
    fill = 0;
  }

  if (!s.left) put_repeated(o, u' ', fill);
  if (sign) put(o, sign);
  for (size_t i = 0; i < prefix_length; ++i) put(o, prefix[i]);
  put_repeated(o, u'0', zeros);
  while (digit_count > 0) put(o, digits[--digit_count]);
  if (s.left) put_repeated(o, u' ', fill);
}

// Integer arguments of 32 bits or less arrive promoted to int.
uint64_t read_unsigned(va_list* ap, int size) {
  if (size == 64) return static_cast<uint64_t>(va_arg(*ap, unsigned long long));
  uint32_t value = static_cast<uint32_t>(va_arg(*ap, unsigned int));
  if (size == 8) return uint8_t(value);
  if (size == 16) return uint16_t(value);
  return value;
}

int64_t read_signed(va_list* ap, int size) {
  if (size == 64) return static_cast<int64_t>(va_arg(*ap, long long));
  int value = va_arg(*ap, int);
  if (size == 8) return int8_t(value);
  if (size == 16) return int16_t(value);
  return int32_t(value);
}

char16_t hex_digit(unsigned value, bool upper) { return char16_t((upper ? kDigitsUpper : kDigitsLower)[value & 15]); }

// Data1 (32-bit little-endian), Data2 and Data3 (16-bit little-endian),
// Data4 (8 bytes in memory order): 35 units and a terminator.
void guid_text(const uint8_t* guid, bool upper, char16_t text[36]) {
  static const uint8_t kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  size_t n = 0;
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8) text[n++] = u'-';
    uint8_t byte = guid[kOrder[i]];
    text[n++] = hex_digit(byte >> 4, upper);
    text[n++] = hex_digit(byte, upper);
  }
  text[n] = 0;
}

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;

char16_t digit_of(uint32_t value) { return char16_t(u'0' + value % 10); }

// "YYYY-MM-DD hh:mm:ss" (19 units), with ".mmm" (23) when `milliseconds`,
// proleptic Gregorian, UTC. Every field is reduced to its digits modulo 10,
// so ticks far outside 1601-9999 give nonsense but never index out of range.
void time_text(uint64_t ticks, bool milliseconds, char16_t text[24]) {
  // Milliseconds, then days (86400000 = 1000 * 400 * 216): every divisor is
  // small, and the day count of any 64-bit tick count fits 32 bits.
  uint64_t ms = ticks;
  divide_small(&ms, 10000);
  uint64_t day_count = ms;
  divide_small(&day_count, 1000);
  divide_small(&day_count, 400);
  divide_small(&day_count, 216);
  uint32_t days = uint32_t(day_count);
  uint32_t ms_of_day = uint32_t(ms - day_count * 86400000U);

  uint32_t n = days + 306;  // days since 1600-03-01
  uint32_t cycles = n / 146097;
  n %= 146097;
  uint32_t centuries = n / 36524;
  if (centuries > 3) centuries = 3;
  n -= centuries * 36524;
  uint32_t quads = n / 1461;
  n %= 1461;
  uint32_t years = n / 365;
  if (years > 3) years = 3;
  n -= years * 365;
  uint32_t year = 1600 + cycles * 400 + centuries * 100 + quads * 4 + years;
  // March to July and August to December are 153 days each, in pairs of
  // months of 61 days; January and February follow.
  uint32_t five = n / 153;
  n %= 153;
  uint32_t two = n / 61;
  n %= 61;
  uint32_t one = n / 31;
  uint32_t day = n % 31 + 1;
  uint32_t month = five * 5 + two * 2 + one + 3;
  if (month > 12) {
    month -= 12;
    ++year;
  }
  uint32_t hour = ms_of_day / 3600000;
  uint32_t minute = ms_of_day / 60000 % 60;
  uint32_t second = ms_of_day / 1000 % 60;
  uint32_t millisecond = ms_of_day % 1000;

  const char16_t t[] = {digit_of(year / 1000),
                        digit_of(year / 100),
                        digit_of(year / 10),
                        digit_of(year),
                        u'-',
                        digit_of(month / 10),
                        digit_of(month),
                        u'-',
                        digit_of(day / 10),
                        digit_of(day),
                        u' ',
                        digit_of(hour / 10),
                        digit_of(hour),
                        u':',
                        digit_of(minute / 10),
                        digit_of(minute),
                        u':',
                        digit_of(second / 10),
                        digit_of(second),
                        u'.',
                        digit_of(millisecond / 100),
                        digit_of(millisecond / 10),
                        digit_of(millisecond)};
  size_t length = milliseconds ? 23 : 19;
  for (size_t i = 0; i < length; ++i) text[i] = t[i];
  text[length] = 0;
}

void store_count(va_list* ap, int size, size_t count) {
  switch (size) {
    case 8: {
      int8_t* target = va_arg(*ap, int8_t*);
      if (target) *target = int8_t(uint8_t(count));
      break;
    }
    case 16: {
      int16_t* target = va_arg(*ap, int16_t*);
      if (target) *target = int16_t(uint16_t(count));
      break;
    }
    case 32: {
      int32_t* target = va_arg(*ap, int32_t*);
      if (target) *target = int32_t(uint32_t(count));
      break;
    }
    default: {
      int64_t* target = va_arg(*ap, int64_t*);
      if (target) *target = int64_t(uint64_t(count));
      break;
    }
  }
}

// One conversion, its flags, width, precision and size already read. A
// character outside the table outputs nothing and takes no argument.
void convert(Output* o, const Spec& s, char16_t conversion, va_list* ap) {
  int size = s.integer_size;
  switch (conversion) {
    case u'd':
    case u'i': {
      int64_t value = read_signed(ap, size ? size : 32);
      bool negative = value < 0;
      uint64_t magnitude = negative ? 0 - uint64_t(value) : uint64_t(value);
      put_integer(o, s, magnitude, negative, true, 10, false);
      break;
    }
    case u'u': put_integer(o, s, read_unsigned(ap, size ? size : 32), false, false, 10, false); break;
    case u'o': put_integer(o, s, read_unsigned(ap, size ? size : 32), false, false, 8, false); break;
    case u'x':
    case u'X': put_integer(o, s, read_unsigned(ap, size ? size : 32), false, false, 16, conversion == u'X'); break;
    case u'p':
    case u'P': put_integer(o, s, read_unsigned(ap, 64), false, false, 16, conversion == u'P'); break;
    case u'c':
    case u'w': {
      int width = s.character_width;
      if (width == 0 && size == 0) width = 16;
      uint64_t value;
      if (width == 0) {
        value = read_unsigned(ap, 64);  // a 64-bit prefix without a character width
        if (value > 0xFFFFFFFFU) value = kInvalidCodePoint;
      } else {
        value = read_unsigned(ap, width == 32 ? 32 : width);
      }
      put(o, uint32_t(value));
      break;
    }
    case u'C': put(o, uint32_t(read_unsigned(ap, 8))); break;
    case u's':
      if (s.character_width == 8)
        put_text_field(o, s, TextKind::kNarrow, va_arg(*ap, const char*));
      else
        put_text_field(o, s, TextKind::kWide, va_arg(*ap, const char16_t*));
      break;
    case u'S': put_text_field(o, s, TextKind::kNarrow, va_arg(*ap, const char*)); break;
    case u'n': store_count(ap, size ? size : 64, o->count); break;
    case u'r':
    case u'R': {
      const uint8_t* guid = static_cast<const uint8_t*>(va_arg(*ap, const void*));
      char16_t text[36];
      text[0] = 0;
      if (guid) guid_text(guid, conversion == u'R', text);
      put_text_field(o, s, TextKind::kWide, text);
      break;
    }
    case u't': {
      int64_t seconds;
      if ((size ? size : 64) > 32) {
        seconds = static_cast<int64_t>(va_arg(*ap, long long));
      } else {
        uint32_t value = static_cast<uint32_t>(va_arg(*ap, unsigned int));
        seconds = s.left ? int64_t(int32_t(value)) : int64_t(value);
      }
      char16_t text[24];
      // Unsigned arithmetic: times before 1601 wrap to some date, harmlessly.
      time_text((uint64_t(seconds) + kSecondsFrom1601To1970) * kTicksPerSecond, false, text);
      put_text_field(o, s, TextKind::kWide, text);
      break;
    }
    case u'T': {
      char16_t text[24];
      time_text(static_cast<uint64_t>(va_arg(*ap, unsigned long long)), true, text);
      put_text_field(o, s, TextKind::kWide, text);
      break;
    }
    default: break;  // outside the table: dropped
  }
}

// Reads a conversion specification (flags, width, precision, size prefix)
// from `f`, just after its '%', into *s; widths and precisions given as '*'
// are taken through `ap`. Returns the position of the conversion character.
const char16_t* parse_spec(const char16_t* f, va_list* ap, Spec* s) {
  *s = Spec{};
  for (;; ++f) {  // flags
    if (*f == u' ')
      s->space = true;
    else if (*f == u'#')
      s->alternate = true;
    else if (*f == u'+')
      s->plus = true;
    else if (*f == u'-')
      s->left = true;
    else if (*f == u'0')
      s->zero = true;
    else
      break;
  }
  if (*f == u'*') {  // width; a negative one means none
    ++f;
    int width = va_arg(*ap, int);
    s->width = width > 0 ? size_t(width) : 0;
  } else {
    while (is_digit(*f)) s->width = append_digit(s->width, *f++);
  }
  if (*f == u'.') {  // precision; a negative one through '*' means none
    ++f;
    s->has_precision = true;
    if (*f == u'*') {
      ++f;
      int precision = va_arg(*ap, int);
      s->has_precision = precision >= 0;
      s->precision = precision >= 0 ? size_t(precision) : 0;
    } else {
      while (is_digit(*f)) s->precision = append_digit(s->precision, *f++);
    }
  }
  switch (*f) {  // size prefix, at most one
    case u'h':
      ++f;
      s->integer_size = 16;
      s->character_width = 8;
      break;
    case u'l':
    case u'L':
      ++f;
      if (*f == u'l') {
        ++f;
        s->integer_size = 64;
      } else {
        s->integer_size = 32;
        s->character_width = 16;
      }
      break;
    case u'I':
      // Any other 'I' is left as the conversion character.
      if (f[1] == u'8') {
        f += 2;
        s->integer_size = s->character_width = 8;
      } else if (f[1] == u'1' && f[2] == u'6') {
        f += 3;
        s->integer_size = s->character_width = 16;
      } else if (f[1] == u'3' && f[2] == u'2') {
        f += 3;
        s->integer_size = s->character_width = 32;
      } else if (f[1] == u'6' && f[2] == u'4') {
        f += 3;
        s->integer_size = 64;
      }
      break;
    default: break;
  }
  return f;
}

// Scans `f` to its end; every argument is taken through `ap`.
void format_into(Output* o, const char16_t* f, va_list* ap) {
  for (;;) {
    char16_t c = *f++;
    if (c == 0) return;
    if (c != u'%') {
      put(o, c);
      continue;
    }
    c = *f;
    if (c == 0) return;
    if (c == u'%') {
      ++f;
      put(o, u'%');
      continue;
    }
    Spec s;
    f = parse_spec(f, ap, &s);
    c = *f;
    if (c == 0) return;  // the format ends inside a conversion
    ++f;
    convert(o, s, c, ap);
  }
}

}  // namespace

size_t text_vformat(char16_t* out, size_t capacity, const char16_t* format, va_list args) {
  if (!out) capacity = 0;
  Output o = {out, capacity, 0};
  va_list ap;
  va_copy(ap, args);
  format_into(&o, format ? format : u"", &ap);
  va_end(ap);
  if (capacity > 0) {
    size_t end = o.count < capacity - 1 ? o.count : capacity - 1;
    // A cut output keeps whole characters: never the first half of a pair.
    if (end < o.count && end > 0 && is_high_surrogate(out[end - 1])) --end;
    out[end] = 0;
  }
  return o.count;
}

size_t text_format(char16_t* out, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  size_t length = text_vformat(out, capacity, format, args);
  va_end(args);
  return length;
}

char16_t* text_vformat_alloc(const char16_t* format, va_list args) {
  enum { kLocalCapacity = 100 };
  char16_t local[kLocalCapacity];
  va_list first;
  va_copy(first, args);
  size_t length = text_vformat(local, kLocalCapacity, format, first);
  va_end(first);
  if (length < kLocalCapacity) return wide_dup_n(local, length);
  if (length == kNoLimit) return nullptr;  // saturated: too long to hold
  char16_t* text = wide_alloc(nullptr, length + 1);
  if (!text) return nullptr;
  va_list second;
  va_copy(second, args);
  size_t again = text_vformat(text, length + 1, format, second);
  va_end(second);
  if (again != length) {  // only if arguments changed in between (through %n)
    wide_free(text);
    return nullptr;
  }
  return text;
}

char16_t* text_format_alloc(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  char16_t* text = text_vformat_alloc(format, args);
  va_end(args);
  return text;
}
